// IMPACT_TYPE: what applying a change costs the host, ordered by severity. Shared by the
// impact plugins' result records and the library's impact verdicts. Constants; any thread.
#pragma once

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigManager {

enum IMPACT_TYPE { NO_IMPACT = 0, MAINTENANCE_MODE_REQUIRED = 1, REBOOT_REQUIRED = 2 };

}  // namespace TarnConfigManager

TARN_PUBLIC_END
