// Loading a result record from its file: parse, then convert, with every failure reported as
// a std::runtime_error naming the file. Private to the plugin-support library.
#pragma once

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tarn/json/kept_pool.h"
#include "tarn/pluginsupport/result_file.h"

namespace TarnConfigManager {

// Throws ConfigStoreException 1082: "JSON error: member \"<name>\" <problem>".
[[noreturn]] void ThrowMemberError(const char* name, const char* problem);
// The member name of object; ThrowMemberError when object is not an object or has no such
// member.
const rapidjson::Value& RequiredMember(const rapidjson::Value& object, const char* name);

// Finds the members names[0..N) of object in one pass over its members, the first of each
// name as FindMember would; a missing one is left null. Throws like RequiredMember(object,
// names[0]) when object is not an object. For records read thousands of times per file.
template <size_t N>
void FindMembers(const rapidjson::Value& object, const std::string_view (&names)[N],
                 const rapidjson::Value* (&found)[N]) {
    if (!object.IsObject()) {
        ThrowMemberError(names[0].data(), "is read from a value that is not an object");
    }
    std::fill(std::begin(found), std::end(found), nullptr);
    for (const auto& member : object.GetObject()) {
        std::string_view name(member.name.GetString(), member.name.GetStringLength());
        for (size_t i = 0; i < N; ++i) {
            if (!found[i] && name == names[i]) {
                found[i] = &member.value;
                break;
            }
        }
    }
}

// *found; ThrowMemberError(name, "is missing") when it is null.
const rapidjson::Value& Required(const rapidjson::Value* found, const char* name);
// The string *found; ThrowMemberError naming name when it is null or not a string.
std::string RequiredString(const rapidjson::Value* found, const char* name);

// Parses the result file and calls read(document); a failure of either is a std::runtime_error
// naming the file. The parsed file lives only while it is read: its values go to a pool over
// memory the thread keeps for the next result.
template <typename Read>
void ReadResultRecord(const std::string& path, Read read) {
    TarnConfigStore::KeptPool pool;
    rapidjson::Document doc(&pool.Get());
    ReadResultFile(path, doc);
    try {
        read(static_cast<const rapidjson::Value&>(doc));
    } catch (const std::exception& e) {
        throw std::runtime_error("Failed to load result file " + path + ": " + e.what());
    }
}

template <typename Record>
Record LoadResultRecord(const std::string& path) {
    Record record;
    ReadResultRecord(path, [&record](const rapidjson::Value& doc) { record.FromJson(doc); });
    return record;
}

template <typename Record>
void WriteResultRecord(const Record& record, const std::string& path) {
    rapidjson::Document doc(rapidjson::kObjectType);
    record.convertToJson(doc, doc.GetAllocator());
    WriteResultFile(path, doc);
}

// Calls read(element) for each element of the array member name of object; a missing member
// reads as an empty list. Throws ConfigStoreException 1082 when it is not an array.
template <typename Read>
void ForEachListed(const rapidjson::Value& object, const char* name, Read read) {
    auto it = object.FindMember(name);
    if (it == object.MemberEnd()) {
        return;
    }
    if (!it->value.IsArray()) {
        ThrowMemberError(name, "is not a list");
    }
    for (const rapidjson::Value& element : it->value.GetArray()) {
        read(element);
    }
}

// Adds the array member name to out, one object per record in order, each filled by the
// record's convertToJson.
template <typename Record>
void AddRecordList(rapidjson::Value& out, const char* name, const std::vector<Record>& records,
                   rapidjson::MemoryPoolAllocator<>& allocator) {
    rapidjson::Value list(rapidjson::kArrayType);
    for (const Record& record : records) {
        rapidjson::Value entry(rapidjson::kObjectType);
        record.convertToJson(entry, allocator);
        list.PushBack(entry, allocator);
    }
    out.AddMember(rapidjson::StringRef(name), list, allocator);
}

// Appends one record per element of the array member name (see ForEachListed).
template <typename Record>
void ReadRecordList(const rapidjson::Value& object, const char* name,
                    std::vector<Record>& records) {
    auto list = object.FindMember(name);
    if (list != object.MemberEnd() && list->value.IsArray()) {
        records.reserve(records.size() + list->value.Size());
    }
    ForEachListed(object, name, [&records](const rapidjson::Value& element) {
        records.emplace_back();
        records.back().FromJson(element);
    });
}

}  // namespace TarnConfigManager
