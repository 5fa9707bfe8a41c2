// tarnctl apply DOC: applies a desired document in the library's two steps: CheckApply
// (impact and drift cache), then Apply, which stores the document for the next boot when a
// reboot is needed and otherwise runs the apply plugins now. Ctrl-C aborts a plugin run.
// Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

struct ApplyOptions {
    std::string document;        // path of the desired document
    std::string clusterContext;  // handed to every impact and apply plugin
};

// kExitOk when the host matches the document, now or after the next boot; a failed plugin
// run gives FailureExitCode(); library errors (maintenance mode needed, say) are thrown.
int RunApply(const Console& console, const ApplyOptions& options);

}  // namespace Tarnctl
