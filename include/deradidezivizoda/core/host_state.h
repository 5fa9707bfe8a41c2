// Questions the library asks the host about itself: maintenance mode, fast-reboot support,
// identity; and the one piece of configuration it hands over directly (SmartNIC).
// Stateless; any thread may call them.
#pragma once

#include <string>

#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

enum QUICK_BOOT_STATUS : int {
    QUICK_BOOT_UNSUPPORTED = 0,
    QUICK_BOOT_SUPPORTED = 1,
    QUICK_BOOT_STM_SUPPORTED = 2,
};

// True only when the kernel reports maintenance mode as 1; every failure reads as false.
TARN_EXPORT bool IsMaintenanceModeEnabled();
TARN_EXPORT QUICK_BOOT_STATUS FetchQuickBootStatus();
// The normalised BIOS UUID; host-control failures pass through.
TARN_EXPORT std::string GetBIOSUUID();
// Stores json as the desired SmartNIC configuration; PARSE_ERROR before touching the store.
TARN_EXPORT void SetSmartnicConfiguration(const std::string& json);

}  // namespace TarnConfigManager
