// SableCtl::System::SystemInfoImpl: the running kernel's version record, read from uname(2)
// on every call (how the texts are cut from it: docs/host-root.md, "Kernel version").
// Stateless; any thread.
#pragma once

#include <string>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace SableCtl {
namespace System {

struct SableVersion {
    std::string build;    // the build number: N of "#N" at the start of uname's version
    std::string version;  // "major.minor" of the release
    std::string patch;    // the third number of the release ("0" when absent)
    std::string update;   // what follows the release numbers after "-" ("0" when nothing)
};

class SystemInfoImpl {
public:
    // Throws std::runtime_error with the reason when uname fails.
    SableVersion GetSableVersion() const;
};

// The record of a uname release ("6.1.0-18-amd64") and version ("#1 SMP ...") text.
SableVersion ParseSableVersion(const std::string& release, const std::string& version);

}  // namespace System
}  // namespace SableCtl

TARN_PUBLIC_END
