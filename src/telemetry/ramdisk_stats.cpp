#include "deradidezivizoda/telemetry/ramdisk_stats.h"

#include <memory>

#include "tarn/json/config_store_exception.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

struct ParamListDeleter {
    void operator()(SysInfo_ParamList* list) const { SysInfo_ParamListDestroy(list); }
};

LodeFS_SysInfoRamStats ReadStats(const char* operation) {
    LodeFS_SysInfoRamStats stats{};
    if (!GetCurrentConfigStoreStats(&stats)) {
        throw TarnConfigStore::ConfigStoreException(
            TarnConfigStore::kStoreDataError,
            (std::string("Failed to get data from ") + operation).c_str());
    }
    return stats;
}

}  // namespace

bool GetCurrentConfigStoreStats(LodeFS_SysInfoRamStats* stats) {
    SysInfo_ParamList* created = nullptr;
    int status = SysInfo_ParamListCreate(&created, 1);
    std::unique_ptr<SysInfo_ParamList, ParamListDeleter> list(created);
    if (status == 0) {
        status = SysInfo_ParamListAddString(list.get(), "configstore");
    }
    SysInfo_Sig found{};
    SysInfo_Sig wanted{};
    if (status == 0) {
        status = SysInfo_CheckSig(&found, kSysInfoSignatureVersion, &wanted);
    }
    if (status != 0) {
        CSLogger::Log(0, "SysInfo Check Sig Failed: %s", SABLE_ReturnStatusToString(status));
        return false;
    }
    status = SysInfo_Get(SysInfo_NODE_system_lodefs_ramdisks_stats, list.get(), stats,
                         sizeof(LodeFS_SysInfoRamStats));
    if (status != 0) {
        CSLogger::Log(0, "Failed to get the size of ram utilization for configstore: %s",
                      SABLE_ReturnStatusToString(status));
        return false;
    }
    return true;
}

long GetReservedRamdiskSize() {
    return static_cast<long>(ReadStats("GetReservedRamdiskSize").reservedMiB) * 1048576L;
}

long GetRamDiskUsage() {
    return static_cast<long>(ReadStats("GetRamDiskUsage").usedPages) * 4096L;
}

}  // namespace TarnConfigManager
