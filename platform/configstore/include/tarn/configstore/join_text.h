// Text pieces concatenated without intermediate strings, for the names and keys built per
// configuration object: as a new string or into a reused one. Pieces are any range of
// std::string_view (or a braced list of them). Reentrant.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

using TextPieces = std::initializer_list<std::string_view>;

template <typename Pieces>
size_t JoinedSize(const Pieces& pieces) {
    size_t size = 0;
    for (std::string_view piece : pieces) {
        size += piece.size();
    }
    return size;
}

// Replaces text with the pieces; text keeps its capacity, so a reused string stops allocating.
template <typename Pieces>
void JoinTextInto(std::string& text, const Pieces& pieces) {
    text.resize(JoinedSize(pieces));
    char* out = text.data();
    for (std::string_view piece : pieces) {
        out = std::copy(piece.begin(), piece.end(), out);
    }
}

inline void JoinTextInto(std::string& text, TextPieces pieces) {
    JoinTextInto<TextPieces>(text, pieces);
}

template <typename Pieces>
std::string JoinText(const Pieces& pieces) {
    std::string text;
    JoinTextInto(text, pieces);
    return text;
}

inline std::string JoinText(TextPieces pieces) {
    return JoinText<TextPieces>(pieces);
}

}  // namespace TarnConfigStore

TARN_PUBLIC_END
