// HostInstanceIndex: the host elements of an array still waiting for a desired partner.
// Partners are looked for among the remaining elements from the last position down, as a
// walk over them would; keyed lookups go through a map from key value to positions, so
// matching n desired instances costs O(n), not O(n^2). Leftovers come out last position
// first. Private to the drift engine; one thread.
#pragma once

#include <memory_resource>
#include <string_view>
#include <unordered_map>
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
    const rapidjson::Value* elements_ = nullptr;
    std::vector<bool> taken_;
    // The map's nodes and buckets come from one growing buffer, freed with the index, instead
    // of one heap block per host instance.
    std::pmr::monotonic_buffer_resource pool_;
    // Per key value the highest position not yet known to be taken; each indexed position
    // links to the next lower one with the same key value (-1 ends the chain).
    std::pmr::unordered_map<std::string_view, long> highest_{&pool_};
    std::vector<long> lower_;
};

}  // namespace TarnConfigManager
