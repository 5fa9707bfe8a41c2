#include "drift/host_instance_index.h"

namespace TarnConfigManager {

HostInstanceIndex::HostInstanceIndex(const rapidjson::Value& host) {
    if (host.IsArray()) {
        elements_ = &host;
        taken_.assign(host.Size(), false);
    }
}

void HostInstanceIndex::IndexByKey(const char* keyName) {
    highest_.reserve(taken_.size());
    lower_.assign(taken_.size(), -1);
    for (size_t i = 0; i < taken_.size(); ++i) {
        const rapidjson::Value& key = At(i)[keyName];  // 1082 for a non-object or a missing key
        if (key.IsString()) {
            auto [entry, added] = highest_.emplace(
                std::string_view(key.GetString(), key.GetStringLength()), static_cast<long>(i));
            if (!added) {
                lower_[i] = entry->second;
                entry->second = static_cast<long>(i);
            }
        }
    }
}

long HostInstanceIndex::TakeByKey(std::string_view value) {
    auto it = highest_.find(value);
    if (it == highest_.end()) {
        return -1;
    }
    long position = it->second;
    while (position >= 0 && taken_[static_cast<size_t>(position)]) {
        position = lower_[static_cast<size_t>(position)];
    }
    if (position < 0) {
        it->second = -1;
        return -1;
    }
    it->second = lower_[static_cast<size_t>(position)];
    taken_[static_cast<size_t>(position)] = true;
    return position;
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
