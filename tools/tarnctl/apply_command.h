// tarnctl apply DOC: applies a desired document in the library's two steps: CheckApply
// (impact and drift cache), then Apply, which stores the document for the next boot when a
// reboot is needed and otherwise runs the apply plugins now. Asks before the second step
// unless --yes. Ctrl-C aborts a plugin run.
// Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

struct ApplyOptions {
    std::string document;        // path of the desired document
    std::string clusterContext;  // handed to every impact and apply plugin
    bool yes = false;            // apply without asking
};

// Between the two steps it tells what Apply will do and asks to go on, unless options.yes.
// kExitOk when the host matches the document, now or after the next boot; a failed plugin
// run or a no gives FailureExitCode(); library errors (maintenance mode needed, say) are thrown.
int RunApply(const Console& console, const ApplyOptions& options);

}  // namespace Tarnctl
