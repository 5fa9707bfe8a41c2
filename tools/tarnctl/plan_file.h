// PlanFile: a saved apply plan. `tarnctl impact --out PLAN` freezes the result of CheckApply
// (the document, its impact and quick boot status, the cluster context and the drift cache)
// in a JSON file, with SHA-256 fingerprints of the document and of the host's current
// configuration and an integrity hash over the rest; `tarnctl apply --plan PLAN` rebuilds the
// CheckApplyResult from it and hands exactly that to Apply. The format is in docs/tarnctl.md,
// "Saved plans". Main thread.
#pragma once

#include <memory>
#include <string>

#include "deradidezivizoda/apply/check_apply.h"

namespace Tarnctl {

struct SavedPlan {
    std::shared_ptr<TarnConfigManager::CheckApplyResult> check;
    std::string created;     // when CheckApply ran: seconds since the Unix epoch
    std::string hostSha256;  // HostConfigurationSha256() when the plan was made
};

// The fingerprint of the host's current configuration (the document `extract current`
// prints, as compact JSON).
std::string HostConfigurationSha256();

// Writes plan to path through a temporary file in the same folder and a rename, so a reader
// sees the old file or the whole new one; CommandError naming path when it cannot be written
// (nothing is left behind).
void WritePlan(const std::string& path, const SavedPlan& plan);

// The plan saved at path. CommandError naming path when it cannot be read, is not a plan of
// this format, or was altered since it was written (a hash does not match its content).
SavedPlan ReadPlan(const std::string& path);

}  // namespace Tarnctl
