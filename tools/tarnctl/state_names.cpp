#include "state_names.h"

namespace Tarnctl {

const char* QuickBootName(TarnConfigManager::QUICK_BOOT_STATUS status) {
    switch (status) {
        case TarnConfigManager::QUICK_BOOT_SUPPORTED:
            return "quickboot";
        case TarnConfigManager::QUICK_BOOT_STM_SUPPORTED:
            return "stm";
        case TarnConfigManager::QUICK_BOOT_UNSUPPORTED:
            break;
    }
    return "unsupported";
}

const char* ImpactName(TarnConfigManager::IMPACT_TYPE impact) {
    switch (impact) {
        case TarnConfigManager::MAINTENANCE_MODE_REQUIRED:
            return "maintenance-mode";
        case TarnConfigManager::REBOOT_REQUIRED:
            return "reboot";
        case TarnConfigManager::NO_IMPACT:
            break;
    }
    return "none";
}

}  // namespace Tarnctl
