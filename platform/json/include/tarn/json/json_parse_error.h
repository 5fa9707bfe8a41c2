// JsonParseError: why and where a JSON text failed to parse, as the one parse path
// (json_text.h) reports it and as the exceptions raised for it carry it. A value.
#pragma once

#include <cstddef>
#include <string>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

struct JsonParseError {
    std::string message;  // readable reason, e.g. "Invalid value."
    size_t offset = 0;    // byte offset of the failure
    // Where the offset lies for a person: line from 1, column from 1 counted in characters
    // (UTF-8 sequences), a tab being one. Both 0 when the failure has no place in the text
    // (a file that cannot be read, a text with no characters at all).
    size_t line = 0;
    size_t column = 0;
};

}  // namespace TarnConfigStore

TARN_PUBLIC_END
