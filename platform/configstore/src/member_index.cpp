#include "tarn/configstore/member_index.h"

#include <cstring>

namespace TarnConfigStore {

namespace {

// Names are short: they are mixed eight bytes at a time, with their length.
size_t HashName(const char* name, rapidjson::SizeType length) {
    constexpr uint64_t kMultiplier = 0xff51afd7ed558ccdull;
    uint64_t hash = (length + 1) * 0x9e3779b97f4a7c15ull;
    for (; length >= 8; name += 8, length -= 8) {
        uint64_t word;
        std::memcpy(&word, name, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 32;
    }
    if (length > 0) {
        uint64_t word = 0;
        for (rapidjson::SizeType i = 0; i < length; ++i) {
            word |= static_cast<uint64_t>(static_cast<unsigned char>(name[i])) << (8 * i);
        }
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 32;
    }
    return static_cast<size_t>(hash ^ (hash >> 29));
}

bool NameIs(const rapidjson::Value& name, const char* text, rapidjson::SizeType length) {
    if (name.GetStringLength() != length) {
        return false;
    }
    const char* own = name.GetString();
    if (length <= 16) {
        for (rapidjson::SizeType i = 0; i < length; ++i) {
            if (own[i] != text[i]) {
                return false;
            }
        }
        return true;
    }
    return std::memcmp(own, text, length) == 0;
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
                duplicates_ = true;
                break;  // a later duplicate: the first of the name stays
            }
        }
    }
}

const rapidjson::Value* MemberIndex::Find(const char* name, rapidjson::SizeType length) const {
    long position = Position(name, length);
    return position < 0 ? nullptr : &members_[position].value;
}

long MemberIndex::Position(const char* name, rapidjson::SizeType length) const {
    if (mask_ == 0) {
        for (rapidjson::SizeType i = 0; i < count_; ++i) {
            if (NameIs(members_[i].name, name, length)) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }
    for (size_t slot = HashName(name, length) & mask_; slots_[slot] != 0;
         slot = (slot + 1) & mask_) {
        uint32_t position = slots_[slot] - 1;
        if (NameIs(members_[position].name, name, length)) {
            return static_cast<long>(position);
        }
    }
    return -1;
}

long MemberIndex::Position(const char* name, rapidjson::SizeType length,
                           rapidjson::SizeType hint) const {
    if (mask_ != 0 && !duplicates_ && hint < count_ && NameIs(members_[hint].name, name, length)) {
        return static_cast<long>(hint);
    }
    return Position(name, length);
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
        rapidjson::SizeType position = 0;
        for (const auto& member : a.GetObject()) {
            const rapidjson::Value* other =
                index.Find(member.name.GetString(), member.name.GetStringLength(), position++);
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
