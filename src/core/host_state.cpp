#include "deradidezivizoda/core/host_state.h"

#include <cstdint>

#include "deradidezivizoda/core/document.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/hostctl/host_ctl.h"
#include "tarn/hostctl/sys_info.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

bool IsMaintenanceModeEnabled() {
    CSLogger::Log(2, "Checking if host is in maintenanceMode");
    SysInfo_Sig found;
    SysInfo_Sig wanted;
    int rc = SysInfo_CheckSig(&found, kSysInfoSignatureVersion, &wanted);
    if (rc != 0) {
        CSLogger::Log(0, "Sablekernel signature check failed: rc=%d", rc);
        return false;
    }
    int32_t state = 0;
    rc = SysInfo_Get(SysInfo_NODE_system_maintenanceMode, nullptr, &state, sizeof(state));
    if (rc != 0) {
        CSLogger::Log(0, "Failed to read MaintenanceMode state: rc=%d", rc);
        return false;
    }
    CSLogger::Log(2, "Host maintenanceMode state=%d", state);
    return state == 1;
}

QUICK_BOOT_STATUS FetchQuickBootStatus() {
    if (HostCtl::System::LoadTarn::IsSTMSupported()) {
        return QUICK_BOOT_STM_SUPPORTED;
    }
    return HostCtl::System::LoadTarn::IsSupported() ? QUICK_BOOT_SUPPORTED : QUICK_BOOT_UNSUPPORTED;
}

std::string GetBIOSUUID() {
    std::string uuid = HostCtl::Host::GetHardwareInfo()->GetBiosUuid();
    return ConfigStoreDocument::NormalizeHostId(uuid);
}

void SetSmartnicConfiguration(const std::string& json) {
    CSLogger::Log(3, "%s invoked", "SetSmartnicConfiguration");
    rapidjson::Document doc;
    ParseDocument(json, doc);
    TarnConfigStore::SetDesiredSmartnicConfiguration(doc);
}

}  // namespace TarnConfigManager
