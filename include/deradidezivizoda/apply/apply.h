// Apply, the second step of applying a desired document: it takes CheckApply's result,
// checks the impact again (with the drift cache CheckApply wrote) and refuses when it grew;
// then it stores the document for the next boot (reboot required) or remediates the host now.
// Input errors, a changed impact and a missing maintenance mode are thrown; plugin failures
// and aborts come back in the result. Caller's thread.
#pragma once

#include <memory>

#include "deradidezivizoda/apply/check_apply.h"
#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

enum APPLY_STATUS : int {
    // The host already matched, the document was applied outside maintenance mode, or
    // error is set.
    APPLY_SUCCESS = 0,
    // A reboot is required: the document is stored as the desired configuration and is
    // applied when the host boots; no plugin ran.
    APPLY_REBOOT_PENDING = 1,
    // Applied while the host was in the maintenance mode the change needs.
    APPLY_SUCCESS_IN_MAINTENANCE_MODE = 2,
};

struct TARN_EXPORT ApplyResult {
    int status = APPLY_SUCCESS;
    ErrorInfo error;
};

// EMPTY_INPUT (2024) for an empty checkResult; INVALID_IMPACT (2025, InvalidImpact) for a
// drift cache that is not a JSON object or an impact that changed other than down to none;
// NOT_IN_MAINT_MODE (2026, HostNotInMM) when maintenance mode is needed and the host is not in
// it. checkResult is only read.
TARN_EXPORT ApplyResult Apply(const std::shared_ptr<CheckApplyResult>& checkResult,
                              std::shared_ptr<TaskHandle> task);

}  // namespace TarnConfigManager
