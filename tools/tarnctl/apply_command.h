// tarnctl apply DOC|--plan PLAN: applies a desired document in the library's two steps:
// CheckApply (impact and drift cache), then Apply, which stores the document for the next boot
// when a reboot is needed and otherwise runs the apply plugins now. The document is validated
// first; a saved plan (impact --out) replaces the first step. Between the steps it shows the
// changes and the impact and asks, unless --yes. Ctrl-C aborts a plugin run.
// Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

struct ApplyOptions {
    std::string document;        // path of the desired document; empty with a plan
    std::string plan;            // path of a plan saved by impact --out, instead of a document
    std::string clusterContext;  // handed to every validation, impact and apply plugin
    bool yes = false;            // apply without asking
    bool validate = true;        // false with --no-validate
};

// kExitOk when the host matches the document, now or after the next boot; kExitFindings for
// an invalid document; kExitError (before asking) when maintenance mode is needed and the
// host is not in it, for an altered plan and when the impact grew since the check; a failed
// plugin run or a no gives FailureExitCode(); other library errors are thrown.
int RunApply(const Console& console, const ApplyOptions& options);

}  // namespace Tarnctl
