// How the JSON library's reader and writers report a failure. Private to the JSON library;
// reentrant.
#pragma once

#include <cstdint>
#include <string>

#include "tarn/json/json.h"
#include "tarn/json/json_parse_error.h"

namespace TarnConfigStore {

// A failure with no place in the text: the file cannot be read, holds nothing at all, or is
// too large to be parsed. Sets out to null, fills error when given and returns false.
bool FailWithoutPlace(JsonParseError* error, std::string reason, rapidjson::Value& out);
// The same for a text or file of size bytes, above kMaxJsonBytes.
bool FailTooLarge(JsonParseError* error, uint64_t size, rapidjson::Value& out);

// Throws ConfigStoreException 1082 for a value that holds text that is not UTF-8 or a number
// that is not finite.
[[noreturn]] void ThrowUnwritable();

}  // namespace TarnConfigStore
