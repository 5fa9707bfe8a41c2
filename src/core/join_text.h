// JoinText: a few text pieces concatenated with one allocation, for the names and keys built
// per configuration object. Private to the library; reentrant.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace TarnConfigManager {

inline std::string JoinText(std::initializer_list<std::string_view> pieces) {
    size_t size = 0;
    for (std::string_view piece : pieces) {
        size += piece.size();
    }
    std::string text;
    text.reserve(size);
    for (std::string_view piece : pieces) {
        text.append(piece);
    }
    return text;
}

}  // namespace TarnConfigManager
