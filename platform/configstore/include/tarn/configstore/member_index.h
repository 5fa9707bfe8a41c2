// Member lookup by name that does not scan wide objects: rapidjson's FindMember compares the
// name with every member before it, so looking up each member of one object in another costs
// the square of their width. MemberIndex finds the same member FindMember finds (the first of
// that name; duplicate names are kept in documents) through a hash table for wide objects, and
// JsonEqual is rapidjson's equality with its member lookups made that way.
// The object must outlive the index and keep its members while it is in use. One thread.
#pragma once

#include <cstdint>
#include <memory>

#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

class MemberIndex {
public:
    // object: an object value, or anything else for "no members".
    explicit MemberIndex(const rapidjson::Value& object);
    MemberIndex(const MemberIndex&) = delete;
    MemberIndex& operator=(const MemberIndex&) = delete;

    // The value of the first member called name, nullptr when there is none.
    const rapidjson::Value* Find(const char* name, rapidjson::SizeType length) const;
    const rapidjson::Value* Find(const rapidjson::Value& name) const {
        return Find(name.GetString(), name.GetStringLength());
    }
    // The position of the first member called name, -1 when there is none.
    long Position(const char* name, rapidjson::SizeType length) const;
    long Position(const rapidjson::Value& name) const {
        return Position(name.GetString(), name.GetStringLength());
    }
    // The same, trying position hint first: objects of the same origin keep their members in
    // the same order. A hit there is taken only when the object has no duplicate names.
    long Position(const char* name, rapidjson::SizeType length, rapidjson::SizeType hint) const;
    const rapidjson::Value* Find(const char* name, rapidjson::SizeType length,
                                 rapidjson::SizeType hint) const {
        long position = Position(name, length, hint);
        return position < 0 ? nullptr : &members_[position].value;
    }

private:
    // Objects up to this width are scanned: a table costs more than the scan.
    static constexpr rapidjson::SizeType kScannedWidth = 8;
    static constexpr size_t kInlineSlots = 64;

    const rapidjson::Value::Member* members_ = nullptr;
    rapidjson::SizeType count_ = 0;
    size_t mask_ = 0;          // slots - 1; 0 when scanned
    bool duplicates_ = false;  // two members share a name
    // Member position + 1 per slot, 0 for an empty slot.
    uint32_t inline_[kInlineSlots];
    std::unique_ptr<uint32_t[]> heap_;
    uint32_t* slots_ = nullptr;
};

// Whether a and b are objects that name their members alike position by position with no
// name repeated: each member's counterpart in the other is then the one at its own position.
// Objects of the same origin keep their member order, so this holds for most pairs.
bool SameMemberNames(const rapidjson::Value& a, const rapidjson::Value& b);

// a == b as rapidjson defines it (same type; strings byte-equal; numbers exactly or as
// doubles; arrays in order; objects of the same size whose every member equals the first
// member of that name in the other), without its quadratic member lookups.
bool JsonEqual(const rapidjson::Value& a, const rapidjson::Value& b);

}  // namespace TarnConfigStore

TARN_PUBLIC_END
