// Small UTF-8 helpers shared by the pattern matcher, the length checks and the formats.
// Invalid sequences never fail: each stray byte reads as one code point U+FFFD.
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <string_view>

namespace TarnValidator {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point that starts at text[pos] (pos < size) and returns its length in bytes.
inline size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& out) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(pos);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 1) {
        out = lead;
        return 1;
    }
    if (length == 0 || pos + length > text.size()) {
        out = kReplacementCharacter;
        return 1;
    }
    char32_t cp = lead & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            out = kReplacementCharacter;
            return 1;
        }
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    out = cp;
    return length;
}

// Start of the code point that ends just before pos (pos > 0).
inline size_t PreviousCodePointStart(std::string_view text, size_t pos) {
    size_t start = pos - 1;
    while (start > 0 && pos - start < 4 &&
           (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
        --start;
    }
    return start;
}

// Number of code points (what a JSON Schema length counts), not bytes.
inline size_t CountCodePoints(std::string_view text) {
    size_t count = 0;
    for (size_t pos = 0; pos < text.size(); ++count) {
        char32_t ignored;
        pos += DecodeUtf8(text, pos, ignored);
    }
    return count;
}

}  // namespace TarnValidator
