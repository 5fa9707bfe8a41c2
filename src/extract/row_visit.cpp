#include "row_visit.h"

#include <string>

namespace TarnConfigManager {

namespace {

// Whether a row passes a test of its key, the test made once per run of rows of the same key
// (rows of one key mostly follow each other).
class KeyRunFilter {
public:
    explicit KeyRunFilter(const std::function<bool(const RowNames&)>& passes) : passes_(passes) {}

    bool operator()(const TarnConfigStore::StoreRowView& row) {
        if (!known_ || row.key != key_ || row.group != group_ || row.component != component_) {
            component_ = row.component;
            group_ = row.group;
            key_ = row.key;
            known_ = true;
            passed_ = passes_(row);
        }
        return passed_;
    }

private:
    const std::function<bool(const RowNames&)>& passes_;
    bool known_ = false;
    bool passed_ = false;
    std::string component_;
    std::string group_;
    std::string key_;
};

}  // namespace

StoreRowVisit VisitRows(TarnConfigStore::RowTable table,
                        std::function<bool(const RowNames&)> passes) {
    return [table, passes = std::move(passes)](
               const std::shared_ptr<DBStore::StoreConnection>& connection, int64_t from,
               int64_t to, const std::function<void(const TarnConfigStore::StoreRowView&)>& add) {
        if (!passes) {
            TarnConfigStore::VisitStoreRowsBetween(connection, table, from, to, add);
            return;
        }
        KeyRunFilter filter(passes);
        TarnConfigStore::VisitStoreRowsBetween(connection, table, from, to,
                                               [&](const TarnConfigStore::StoreRowView& row) {
                                                   if (filter(row)) {
                                                       add(row);
                                                   }
                                               });
    };
}

}  // namespace TarnConfigManager
