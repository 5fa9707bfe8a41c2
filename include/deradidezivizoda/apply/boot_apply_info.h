// The records of the boot-time apply: BootApplyErrorInfo, one failure (or the success) of a
// boot with the time it was recorded, and BootApplyInfo, what GetBootApplyInfo reports after
// boot. Value types; the serialised record is what the configuration store keeps.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

class TARN_EXPORT BootApplyErrorInfo {
public:
    BootApplyErrorInfo() = default;
    BootApplyErrorInfo(time_t time, ErrorInfo error) : time(time), error(std::move(error)) {}

    // {"errorInfo": <ErrorInfo::Serialize() text>, "time": "<dd-mm-YYYY HH-MM-SS>"}, the time
    // in local time.
    std::string Serialize() const;
    // Reads what Serialize wrote; a member that is missing leaves its field alone. Text that
    // is not a JSON object, or members of the wrong type: ConfigStoreException 1082; text that
    // does not parse: InvalidArgumentException PARSE_ERROR (2080).
    void Deserialize(const std::string& text);

    time_t time = 0;
    // An empty id: the boot apply succeeded.
    ErrorInfo error;
};

enum BOOT_APPLY_STATUS : int {
    BOOT_APPLY_OK = 0,            // the boot is complete and nothing failed
    BOOT_APPLY_FAILED = 1,        // the boot is complete with at least one failure
    BOOT_APPLY_NOT_COMPLETE = 3,  // the host has not finished booting
};

struct TARN_EXPORT BootApplyInfo {
    int status = BOOT_APPLY_OK;
    std::vector<BootApplyErrorInfo> failures;
};

}  // namespace TarnConfigManager
