// The UTF-8 rules every JSON text is held to, shared by the reader and the writers.
// Private to the JSON library; reentrant.
#pragma once

#include <cstddef>

#include "tarn/json/json_text.h"

namespace TarnConfigStore {

// Length of the well-formed UTF-8 sequence that starts with the byte >= 0x80 at p, given
// available bytes from p on; 0 when it is not one (overlong, surrogate, above U+10FFFF, cut).
inline size_t Utf8SequenceLength(const unsigned char* p, size_t available) {
    unsigned char c = p[0];
    size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (length > available || p[1] < low || p[1] > high) {
        return 0;
    }
    for (size_t k = 2; k < length; ++k) {
        if (p[k] < 0x80 || p[k] > 0xBF) {
            return 0;
        }
    }
    return length;
}

inline bool IsValidUtf8(const char* s, size_t n) {
    return FirstInvalidUtf8(s, n) == n;
}

}  // namespace TarnConfigStore
