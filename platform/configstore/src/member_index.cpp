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

// A number's integer bits: rapidjson keeps an integer in one 64-bit field, whichever sign.
uint64_t IntegerBits(const rapidjson::Value& number) {
    return number.IsUint64() ? number.GetUint64() : static_cast<uint64_t>(number.GetInt64());
}

// a == b for two scalars of the same type, as rapidjson compares them (numbers as doubles when
// either is one, else by their integer bits), with short strings compared inline.
bool ScalarEqual(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (a.IsString()) {
        return NameIs(a, b.GetString(), b.GetStringLength());
    }
    if (!a.IsNumber()) {
        return true;  // null, true and false are equal to their own type
    }
    if (a.IsDouble() || b.IsDouble()) {
        double x = a.GetDouble();
        double y = b.GetDouble();
        return x >= y && x <= y;
    }
    return IntegerBits(a) == IntegerBits(b);
}

// A bucket of a name for the duplicate check below: its length and both ends, which tell the
// names of one object apart almost always; a shared bucket only costs a closer look.
unsigned NameBucket(const rapidjson::Value& name) {
    rapidjson::SizeType length = name.GetStringLength();
    if (length == 0) {
        return 0;
    }
    const auto* text = reinterpret_cast<const unsigned char*>(name.GetString());
    return (length * 37u + text[0] * 11u + text[length - 1] * 7u) & 63u;
}

// SameMemberNames over the members of two objects of count members each.
bool SameDistinctNames(const rapidjson::Value::Member* a, const rapidjson::Value::Member* b,
                       rapidjson::SizeType count) {
    constexpr rapidjson::SizeType kMostMembers = 255;  // positions fit the bucket table's bytes
    if (count > kMostMembers) {
        return false;
    }
    uint8_t first[64] = {};  // position + 1 of the first name met per bucket
    for (rapidjson::SizeType i = 0; i < count; ++i) {
        const rapidjson::Value& name = a[i].name;
        const char* text = name.GetString();
        rapidjson::SizeType length = name.GetStringLength();
        if (!NameIs(b[i].name, text, length)) {
            return false;
        }
        uint8_t& slot = first[NameBucket(name)];
        if (slot == 0) {
            slot = static_cast<uint8_t>(i + 1);
            continue;
        }
        for (rapidjson::SizeType j = slot - 1u; j < i; ++j) {
            if (NameIs(a[j].name, text, length)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

MemberIndex::MemberIndex(const rapidjson::Value& object) {
    if (!object.IsObject() || object.MemberCount() == 0) {
        return;
    }
    members_ = &*object.MemberBegin();
    count_ = object.MemberCount();
    if (count_ <= kScannedWidth) {
        duplicates_ = !SameDistinctNames(members_, members_, count_);
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
    if (!duplicates_ && hint < count_ && NameIs(members_[hint].name, name, length)) {
        return static_cast<long>(hint);
    }
    return Position(name, length);
}

bool SameMemberNames(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (!a.IsObject() || !b.IsObject() || a.MemberCount() != b.MemberCount()) {
        return false;
    }
    return a.MemberCount() == 0 ||
           SameDistinctNames(&*a.MemberBegin(), &*b.MemberBegin(), a.MemberCount());
}

bool JsonEqual(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (a.GetType() != b.GetType()) {
        return false;
    }
    if (a.IsObject()) {
        if (a.MemberCount() != b.MemberCount()) {
            return false;
        }
        const rapidjson::Value::Member* ours = a.MemberCount() ? &*a.MemberBegin() : nullptr;
        const rapidjson::Value::Member* theirs = b.MemberCount() ? &*b.MemberBegin() : nullptr;
        if (SameDistinctNames(ours, theirs, a.MemberCount())) {
            for (rapidjson::SizeType i = 0; i < a.MemberCount(); ++i) {
                if (!JsonEqual(ours[i].value, theirs[i].value)) {
                    return false;
                }
            }
            return true;
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
    return ScalarEqual(a, b);
}

}  // namespace TarnConfigStore
