// HostInstanceIndex: the host elements of an array still waiting for a desired partner.
// Partners are looked for among the remaining elements from the last position down, as a
// walk over them would; keyed lookups go through a table from key value to positions, so
// matching n desired instances costs O(n), not O(n^2). Leftovers come out last position
// first. Private to the drift engine; one thread.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "tarn/json/json.h"

namespace TarnConfigManager {

class HostInstanceIndex {
public:
    // host: the host array, or any other value for "no instances".
    explicit HostInstanceIndex(const rapidjson::Value& host);

    // Indexes the remaining elements by their string member keyName; each must be an object
    // carrying it (ConfigStoreException 1082 otherwise, as the walk would raise).
    void IndexByKey(const char* keyName);
    // Takes the highest remaining position whose key equals value; -1 when there is none.
    long TakeByKey(std::string_view value);
    // Takes the highest remaining position for which equal(element) holds; -1 when none.
    template <typename Equal>
    long TakeFirst(Equal equal) {
        for (size_t i = taken_.size(); i-- > 0;) {
            if (!taken_[i] && equal((*elements_)[static_cast<rapidjson::SizeType>(i)])) {
                taken_[i] = true;
                return static_cast<long>(i);
            }
        }
        return -1;
    }
    // Positions never taken, highest first.
    std::vector<size_t> Remaining() const;
    const rapidjson::Value& At(size_t position) const {
        return (*elements_)[static_cast<rapidjson::SizeType>(position)];
    }

private:
    // One distinct key value. The table is open-addressed and holds positions rather than
    // nodes: at a few hundred thousand instances a node-based map's pointer chasing (cache
    // misses, fresh pages for every node) cost more than the rest of the matching.
    struct Slot {
        uint32_t first = 0;  // a position with this key value + 1; 0 for an empty slot
        uint32_t next = 0;   // highest position not yet known to be taken + 1; 0 when none
        uint32_t tag = 0;    // high bits of the key's hash, compared before the key itself
    };

    Slot& SlotOf(std::string_view value, size_t hash);
    long Lower(long position) const {
        return lower_.empty() ? -1 : lower_[static_cast<size_t>(position)];
    }

    const rapidjson::Value* elements_ = nullptr;
    const char* keyName_ = nullptr;
    std::vector<bool> taken_;
    std::vector<Slot> slots_;
    size_t mask_ = 0;
    // Each indexed position links to the next lower one with the same key value (-1 ends the
    // chain); left empty while no key value repeats.
    std::vector<long> lower_;
};

}  // namespace TarnConfigManager
