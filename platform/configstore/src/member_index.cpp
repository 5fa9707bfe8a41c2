#include "tarn/configstore/member_index.h"

#include <cstring>

namespace TarnConfigStore {

namespace {

size_t HashName(const char* name, rapidjson::SizeType length) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (rapidjson::SizeType i = 0; i < length; ++i) {
        hash = (hash ^ static_cast<unsigned char>(name[i])) * 1099511628211ull;
    }
    return static_cast<size_t>(hash ^ (hash >> 29));
}

bool NameIs(const rapidjson::Value& name, const char* text, rapidjson::SizeType length) {
    return name.GetStringLength() == length &&
           (length == 0 || std::memcmp(name.GetString(), text, length) == 0);
}

}  // namespace

MemberIndex::MemberIndex(const rapidjson::Value& object) {
    if (!object.IsObject() || object.MemberCount() == 0) {
        return;
    }
    members_ = &*object.MemberBegin();
    count_ = object.MemberCount();
    if (count_ <= kScannedWidth) {
        return;
    }
    size_t slots = 16;
    while (slots < 2 * static_cast<size_t>(count_)) {
        slots *= 2;
    }
    if (slots <= kInlineSlots) {
        slots_ = inline_;
    } else {
        heap_.reset(new uint32_t[slots]);
        slots_ = heap_.get();
    }
    std::memset(slots_, 0, slots * sizeof(uint32_t));
    mask_ = slots - 1;
    for (rapidjson::SizeType i = 0; i < count_; ++i) {
        const rapidjson::Value& name = members_[i].name;
        size_t slot = HashName(name.GetString(), name.GetStringLength()) & mask_;
        for (;; slot = (slot + 1) & mask_) {
            if (slots_[slot] == 0) {
                slots_[slot] = i + 1;
                break;
            }
            if (NameIs(members_[slots_[slot] - 1].name, name.GetString(), name.GetStringLength())) {
                break;  // a later duplicate: the first of the name stays
            }
        }
    }
}

const rapidjson::Value* MemberIndex::Find(const char* name, rapidjson::SizeType length) const {
    if (mask_ == 0) {
        for (rapidjson::SizeType i = 0; i < count_; ++i) {
            if (NameIs(members_[i].name, name, length)) {
                return &members_[i].value;
            }
        }
        return nullptr;
    }
    for (size_t slot = HashName(name, length) & mask_; slots_[slot] != 0;
         slot = (slot + 1) & mask_) {
        const rapidjson::Value::Member& member = members_[slots_[slot] - 1];
        if (NameIs(member.name, name, length)) {
            return &member.value;
        }
    }
    return nullptr;
}

bool JsonEqual(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (a.GetType() != b.GetType()) {
        return false;
    }
    if (a.IsObject()) {
        if (a.MemberCount() != b.MemberCount()) {
            return false;
        }
        MemberIndex index(b);
        for (const auto& member : a.GetObject()) {
            const rapidjson::Value* other = index.Find(member.name);
            if (!other || !JsonEqual(member.value, *other)) {
                return false;
            }
        }
        return true;
    }
    if (a.IsArray()) {
        if (a.Size() != b.Size()) {
            return false;
        }
        for (rapidjson::SizeType i = 0; i < a.Size(); ++i) {
            if (!JsonEqual(a[i], b[i])) {
                return false;
            }
        }
        return true;
    }
    return a == b;
}

}  // namespace TarnConfigStore
