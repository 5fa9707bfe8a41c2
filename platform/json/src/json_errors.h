// How the JSON library's reader and writers report a failure. Private to the JSON library;
// reentrant.
#pragma once

#include <cstdint>
#include <string>

#include "tarn/json/json.h"
#include "tarn/json/json_parse_error.h"

// Hidden: the library's own, not part of what it exports.
#define TARN_JSON_PRIVATE __attribute__((visibility("hidden")))

namespace TarnConfigStore {

// A failure with no place in the text: the file cannot be read, holds nothing at all, or is
// too large to be parsed. Sets out to null, fills error when given and returns false.
TARN_JSON_PRIVATE bool FailWithoutPlace(JsonParseError* error, std::string reason,
                                        rapidjson::Value& out);
// The same for a text or file of size bytes, above kMaxJsonBytes.
TARN_JSON_PRIVATE bool FailTooLarge(JsonParseError* error, uint64_t size, rapidjson::Value& out);

// Throws ConfigStoreException 1082 for a value that holds text that is not UTF-8 or a number
// that is not finite.
[[noreturn]] TARN_JSON_PRIVATE void ThrowUnwritable();

}  // namespace TarnConfigStore
