#include "deradidezivizoda/core/version.h"

namespace TarnConfigManager {

// Both come from the build (src/core/CMakeLists.txt), from the values that name the shared
// object itself.
const char* LibraryVersion() {
    return TARN_LIBRARY_VERSION;
}

const char* LibrarySoname() {
    return TARN_LIBRARY_SONAME;
}

}  // namespace TarnConfigManager
