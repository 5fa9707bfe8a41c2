// tarnctl boot run|status and tarnctl bootstrap [--early]: the boot half of the host agent.
// "boot run" plays a boot (started, boot-time apply, complete) and "boot status" reports how
// the last boot went; "bootstrap" hands a document to a freshly deployed host. Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

// Marks the boot started, runs the boot-time apply, marks the boot complete and reports the
// boot status: kExitOk when the boot-time apply succeeded, kExitError when it failed.
int RunBootRun(const Console& console);

// The boot status: kExitOk for a clean boot, kExitFindings for failures or a boot that has
// not completed; a malformed boot apply state is thrown.
int RunBootStatus(const Console& console);

struct BootstrapOptions {
    std::string document;
    bool early = false;  // the early bootstrap of authentication and networking
};

// kExitOk when the library reports success, kExitError with the reason it logged otherwise.
int RunBootstrap(const Console& console, const BootstrapOptions& options);

}  // namespace Tarnctl
