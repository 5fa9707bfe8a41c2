// tarnctl impact DOC: what applying a desired document would cost the host (nothing,
// maintenance mode or a reboot) and which keys it would change, after validating it. With
// --out it saves the plan (plan_file.h) for apply --plan. Changes nothing on the host; Ctrl-C
// aborts an impact plugin run. Main thread.
#pragma once

#include <string>

#include "deradidezivizoda/impact/impact.h"

namespace Tarnctl {

class Console;

struct ImpactOptions {
    std::string document;        // path of the desired document
    std::string clusterContext;  // handed to every validation and impact plugin
    std::string out;             // where to save the plan; empty: no plan
    bool validate = true;        // false with --no-validate
};

// kExitOk when the host already matches (no plan is written), kExitFindings when the document
// would change it or is invalid; a failed plugin run gives FailureExitCode(); library errors
// are thrown.
// Shows an impact result as impact does: a verdict and the changed keys, or with --json the
// verdict object; what names the change ("DOC", "setting KEY").
void PrintImpactResult(const Console& console, const std::string& what,
                       const TarnConfigManager::ImpactResult& result);

int RunImpact(const Console& console, const ImpactOptions& options);

}  // namespace Tarnctl
