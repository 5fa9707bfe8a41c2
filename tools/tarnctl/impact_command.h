// tarnctl impact DOC: what applying a desired document would cost the host (nothing,
// maintenance mode or a reboot) and which keys it would change. Changes nothing; Ctrl-C
// aborts an impact plugin run. Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

struct ImpactOptions {
    std::string document;        // path of the desired document
    std::string clusterContext;  // handed to every impact plugin
};

// kExitOk when the host already matches, kExitFindings when the document would change it;
// a failed plugin run gives FailureExitCode(); library errors are thrown.
int RunImpact(const Console& console, const ImpactOptions& options);

}  // namespace Tarnctl
