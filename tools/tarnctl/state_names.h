// The names tarnctl gives the library's host states and verdicts, in its text and JSON
// output alike. Constant tables; any thread.
#pragma once

#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/impact/impact_info.h"

namespace Tarnctl {

// "unsupported", "quickboot" or "stm".
const char* QuickBootName(TarnConfigManager::QUICK_BOOT_STATUS status);
// "none", "maintenance-mode" or "reboot".
const char* ImpactName(TarnConfigManager::IMPACT_TYPE impact);

}  // namespace Tarnctl
