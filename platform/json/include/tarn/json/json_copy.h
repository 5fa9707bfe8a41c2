// Deep copies of JSON values. CopyJsonValue makes the same value as rapidjson's copying
// constructor Value(value, allocator): the copy's strings and containers come from allocator,
// strings the source only refers to stay references. CopyJsonDocument makes a document of its
// own from a value. Reentrant; the source is only read.
#pragma once

#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

// The copying constructor builds an object or array on a working stack it allocates from the
// heap and frees for every copy; this one keeps that stack on the caller's frame.
rapidjson::Value CopyJsonValue(const rapidjson::Value& value,
                               rapidjson::MemoryPoolAllocator<>& allocator);

rapidjson::Document CopyJsonDocument(const rapidjson::Value& value);

}  // namespace TarnConfigStore

TARN_PUBLIC_END
