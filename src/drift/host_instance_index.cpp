#include "drift/host_instance_index.h"

#include <cstring>
#include <functional>

namespace TarnConfigManager {

namespace {

std::string_view KeyText(const rapidjson::Value& key) {
    return {key.GetString(), key.GetStringLength()};
}

}  // namespace

HostInstanceIndex::HostInstanceIndex(const rapidjson::Value& host) {
    if (host.IsArray()) {
        elements_ = &host;
        taken_.assign(host.Size(), false);
    }
}

void HostInstanceIndex::IndexByKey(const char* keyName) {
    keyName_ = keyName;
    size_t slots = 16;
    while (slots < taken_.size() + taken_.size() / 2) {
        slots <<= 1;
    }
    slots_.assign(slots, Slot{});
    mask_ = slots - 1;
    for (size_t i = 0; i < taken_.size(); ++i) {
        const rapidjson::Value& key = At(i)[keyName];  // 1082 for a non-object or a missing key
        if (!key.IsString()) {
            continue;
        }
        std::string_view value = KeyText(key);
        Slot& slot = SlotOf(value, std::hash<std::string_view>()(value));
        if (slot.first == 0) {
            slot.first = static_cast<uint32_t>(i + 1);
        } else {
            if (lower_.empty()) {
                lower_.assign(taken_.size(), -1);
            }
            lower_[i] = static_cast<long>(slot.next) - 1;
        }
        slot.next = static_cast<uint32_t>(i + 1);
    }
}

HostInstanceIndex::Slot& HostInstanceIndex::SlotOf(std::string_view value, size_t hash) {
    const auto tag = static_cast<uint32_t>(hash >> 32);
    for (size_t at = hash & mask_;; at = (at + 1) & mask_) {
        Slot& slot = slots_[at];
        if (slot.first == 0) {
            slot.tag = tag;
            return slot;
        }
        if (slot.tag == tag && KeyText(At(slot.first - 1)[keyName_]) == value) {
            return slot;
        }
    }
}

long HostInstanceIndex::TakeByKey(std::string_view value) {
    if (slots_.empty()) {
        return -1;
    }
    Slot& slot = SlotOf(value, std::hash<std::string_view>()(value));
    long position = static_cast<long>(slot.next) - 1;
    while (position >= 0 && taken_[static_cast<size_t>(position)]) {
        position = Lower(position);
    }
    if (position < 0) {
        slot.next = 0;
        return -1;
    }
    slot.next = static_cast<uint32_t>(Lower(position) + 1);
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
