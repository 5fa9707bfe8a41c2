#include "row_cut.h"

#include <functional>
#include <string>
#include <unordered_map>

namespace TarnConfigManager {

namespace {

using TarnConfigStore::StoreRow;

size_t TextBytes(const StoreRow& row) {
    return row.value.size() + row.autoConfValue.size();
}

bool SameKey(const StoreRow& a, const StoreRow& b) {
    return a.key == b.key && a.group == b.group && a.component == b.component;
}

struct KeyOfRow {
    const StoreRow* row;
    bool operator==(const KeyOfRow& other) const { return SameKey(*row, *other.row); }
};

struct KeyOfRowHash {
    size_t operator()(const KeyOfRow& key) const {
        std::hash<std::string> hash;
        return hash(key.row->key) ^ (hash(key.row->group) * 31) ^ (hash(key.row->component) * 961);
    }
};

// Whether a key whose rows lie on both sides of at has only rows that name an instance: the
// second half's instances then go after the first half's as they would row by row, where a
// single object in either half would replace or refuse what the other made.
bool HalvesJoin(const std::vector<StoreRow>& rows, size_t at) {
    // key -> whether one of its rows in the first half names no instance
    std::unordered_map<KeyOfRow, bool, KeyOfRowHash> firstHalf;
    bool* single = nullptr;
    for (size_t i = 0; i < at; ++i) {
        if (i == 0 || !SameKey(rows[i], rows[i - 1])) {
            single = &firstHalf.try_emplace(KeyOfRow{&rows[i]}, false).first->second;
        }
        *single = *single || rows[i].identifier.empty();
    }
    bool onBothSides = false;
    for (size_t i = at; i < rows.size(); ++i) {
        if (i == at || !SameKey(rows[i], rows[i - 1])) {
            auto found = firstHalf.find(KeyOfRow{&rows[i]});
            onBothSides = found != firstHalf.end();
            if (onBothSides && found->second) {
                return false;
            }
        }
        if (onBothSides && rows[i].identifier.empty()) {
            return false;
        }
    }
    return true;
}

}  // namespace

RowCut CutRows(const std::vector<StoreRow>& rows) {
    const RowCut none{rows.size(), 0};
    if (rows.size() < kRowsForSecondThread) {
        return none;
    }
    size_t total = 0;
    for (const StoreRow& row : rows) {
        total += TextBytes(row);
    }
    size_t at = 0;
    size_t passed = 0;
    while (at < rows.size() &&
           (passed < total / 2 || (at > 0 && SameKey(rows[at], rows[at - 1])))) {
        passed += TextBytes(rows[at++]);
    }
    if (at == 0 || at == rows.size() || !HalvesJoin(rows, at)) {
        return none;
    }
    return RowCut{at, total - passed};
}

}  // namespace TarnConfigManager
