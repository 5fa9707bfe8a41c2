#include "drift/host_instance_index.h"

namespace TarnConfigManager {

HostInstanceIndex::HostInstanceIndex(const rapidjson::Value& host) {
    if (host.IsArray()) {
        elements_ = &host;
        taken_.assign(host.Size(), false);
    }
}

void HostInstanceIndex::IndexByKey(const char* keyName) {
    for (size_t i = 0; i < taken_.size(); ++i) {
        const rapidjson::Value& key = At(i)[keyName];  // 1082 for a non-object or a missing key
        if (key.IsString()) {
            byKey_[std::string_view(key.GetString(), key.GetStringLength())].push_back(i);
        }
    }
}

long HostInstanceIndex::TakeByKey(std::string_view value) {
    auto it = byKey_.find(value);
    if (it == byKey_.end()) {
        return -1;
    }
    std::vector<size_t>& positions = it->second;
    while (!positions.empty() && taken_[positions.back()]) {
        positions.pop_back();
    }
    if (positions.empty()) {
        return -1;
    }
    size_t position = positions.back();
    positions.pop_back();
    taken_[position] = true;
    return static_cast<long>(position);
}

std::vector<size_t> HostInstanceIndex::Remaining() const {
    std::vector<size_t> remaining;
    for (size_t i = taken_.size(); i-- > 0;) {
        if (!taken_[i]) {
            remaining.push_back(i);
        }
    }
    return remaining;
}

}  // namespace TarnConfigManager
