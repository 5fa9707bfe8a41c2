// The version of the library a program runs with, as the build that made this library knows
// it: for a program that reports what it runs on (tarnctl --version). Constant texts; any
// thread.
#pragma once

#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

// "1.0.0": major, minor and patch of the library.
TARN_EXPORT const char* LibraryVersion();
// "libderadidezivizoda.so.1": the name programs link against; it changes with the major
// version.
TARN_EXPORT const char* LibrarySoname();

}  // namespace TarnConfigManager
