// The one way any of our code includes rapidjson. It turns rapidjson's internal consistency
// checks (wrong value type, missing member, index out of range) into a ConfigStoreException
// with code 1082 instead of an abort, so a wrongly shaped document never ends the process.
// Include this header instead of any rapidjson header.
#pragma once

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

#if defined(RAPIDJSON_RAPIDJSON_H_) && !defined(TARN_JSON_ASSERT_INSTALLED)
#error "rapidjson was included before tarn/configstore/json.h"
#endif
#define TARN_JSON_ASSERT_INSTALLED 1

namespace TarnConfigStore {
[[noreturn]] void JsonAssertFailed(const char* expression, const char* file, int line);
}  // namespace TarnConfigStore

#ifndef RAPIDJSON_HAS_STDSTRING
#define RAPIDJSON_HAS_STDSTRING 1
#endif
#define RAPIDJSON_ASSERT(x) \
    ((x) ? static_cast<void>(0) : ::TarnConfigStore::JsonAssertFailed(#x, __FILE__, __LINE__))

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/pointer.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

TARN_PUBLIC_END
