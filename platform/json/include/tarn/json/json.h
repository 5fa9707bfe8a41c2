// The one way any of our code includes rapidjson. It turns rapidjson's internal consistency
// checks (wrong value type, missing member, index out of range) into a ConfigStoreException
// with code 1082 instead of an abort, so a wrongly shaped document never ends the process.
// Include this header instead of any rapidjson header.
#pragma once

// The checks can only be installed before rapidjson is first seen. A consumer that included
// rapidjson (or defined RAPIDJSON_ASSERT) itself keeps its own checks in its own code; the
// libraries were built with theirs and keep them. Our sources never include rapidjson
// directly (scripts/check_layers.py refuses that), so they always install them.
#if !defined(RAPIDJSON_RAPIDJSON_H_) && !defined(RAPIDJSON_ASSERT)
#include "tarn/export.h"

TARN_PUBLIC_BEGIN
namespace TarnConfigStore {
[[noreturn]] void JsonAssertFailed(const char* expression, const char* file, int line);
}  // namespace TarnConfigStore
TARN_PUBLIC_END

#define RAPIDJSON_ASSERT(x) \
    ((x) ? static_cast<void>(0) : ::TarnConfigStore::JsonAssertFailed(#x, __FILE__, __LINE__))
#endif

// rapidjson's std::string overloads. A consumer that includes rapidjson before this header
// decides for itself; the library's headers do not need them.
#ifndef RAPIDJSON_HAS_STDSTRING
#define RAPIDJSON_HAS_STDSTRING 1
#endif

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/pointer.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
