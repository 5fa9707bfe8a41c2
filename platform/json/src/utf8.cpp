#include "utf8.h"

#include <cstdint>
#include <cstring>

namespace TarnConfigStore {

// ASCII runs are skipped eight bytes at a time: configuration text is mostly ASCII.
size_t FirstInvalidUtf8(const char* s, size_t n) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    size_t i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        size_t length = Utf8SequenceLength(p + i, n - i);
        if (length == 0) {
            return i;
        }
        i += length;
    }
    return n;
}

}  // namespace TarnConfigStore
