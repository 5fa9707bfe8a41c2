#include "tarn/hostctl/sys_info.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace {

// Reads the one integer a state file holds; a missing file gives fallback.
int ReadStateInteger(const char* path, int fallback, int32_t* value) {
    std::ifstream in(path);
    if (!in) {
        *value = fallback;
        return errno == ENOENT ? 0 : EIO;
    }
    long long parsed = 0;
    if (!(in >> parsed) || parsed < INT32_MIN || parsed > INT32_MAX) {
        return EIO;
    }
    *value = static_cast<int32_t>(parsed);
    return 0;
}

// The reserved size in MiB: the reservation file's integer when it exists, otherwise the size
// of the file system the store lives on.
int ReservedMiB(const struct statvfs& st, int32_t* value) {
    uint64_t total = static_cast<uint64_t>(st.f_blocks) * st.f_frsize / (1024 * 1024);
    int32_t fallback = static_cast<int32_t>(std::min<uint64_t>(total, INT32_MAX));
    return ReadStateInteger(TarnPaths::kRamdiskReservedFile, fallback, value);
}

int ReadRamdiskStats(const SysInfo_ParamList* params, void* buffer, size_t size) {
    if (size != sizeof(LodeFS_SysInfoRamStats) || !params || params->values.empty()) {
        return EINVAL;
    }
    std::string folder = std::filesystem::path(TarnPaths::kConfigStoreDb).parent_path().string();
    struct statvfs st;
    if (statvfs(folder.c_str(), &st) != 0) {
        return errno;
    }
    LodeFS_SysInfoRamStats stats{};
    stats.recordVersion = 1;
    int rc = ReservedMiB(st, &stats.reservedMiB);
    if (rc != 0) {
        return rc;
    }
    auto pages = [&](uint64_t blocks) {
        return static_cast<uint32_t>(std::min<uint64_t>(blocks * st.f_frsize / 4096, UINT32_MAX));
    };
    stats.usedPages = pages(st.f_blocks - st.f_bfree);
    stats.freePages = pages(st.f_bavail);
    std::strncpy(stats.name, params->values.front().c_str(), sizeof(stats.name) - 1);
    std::memcpy(buffer, &stats, sizeof(stats));
    return 0;
}

}  // namespace

int SysInfo_CheckSig(SysInfo_Sig* found, int expected, SysInfo_Sig* wanted) {
    int32_t version = 0;
    int rc = ReadStateInteger(TarnPaths::kKernelSignatureFile, kSysInfoSignatureVersion, &version);
    if (found) {
        found->version = version;
    }
    if (wanted) {
        wanted->version = expected;
    }
    if (rc != 0) {
        return rc;
    }
    return version == expected ? 0 : EPROTO;
}

int SysInfo_Get(SysInfo_Node node, const SysInfo_ParamList* params, void* buffer, size_t size) {
    if (!buffer) {
        return EINVAL;
    }
    switch (node) {
        case SysInfo_NODE_system_maintenanceMode: {
            if (size != sizeof(int32_t)) {
                return EINVAL;
            }
            int32_t value = 0;
            int rc = ReadStateInteger(TarnPaths::kMaintenanceModeFile, 0, &value);
            if (rc == 0) {
                std::memcpy(buffer, &value, sizeof(value));
            }
            return rc;
        }
        case SysInfo_NODE_system_lodefs_ramdisks_stats:
            return ReadRamdiskStats(params, buffer, size);
    }
    return EINVAL;
}

int SysInfo_SetMaintenanceMode(bool enabled) {
    std::error_code error;
    std::filesystem::create_directories(
        std::filesystem::path(TarnPaths::kMaintenanceModeFile).parent_path(), error);
    if (error) {
        return error.value();
    }
    bool written = TarnConfigStore::WriteFileAtomically(TarnPaths::kMaintenanceModeFile,
                                                        enabled ? "1\n" : "0\n");
    return written ? 0 : errno;
}

const char* SABLE_ReturnStatusToString(int status) {
    return status == 0 ? "Success" : std::strerror(status);
}

int SysInfo_ParamListCreate(SysInfo_ParamList** list, int capacity) {
    if (!list || capacity < 0) {
        return EINVAL;
    }
    *list = new SysInfo_ParamList();
    (*list)->values.reserve(static_cast<size_t>(capacity));
    return 0;
}

int SysInfo_ParamListAddString(SysInfo_ParamList* list, const char* value) {
    if (!list || !value) {
        return EINVAL;
    }
    list->values.emplace_back(value);
    return 0;
}

void SysInfo_ParamListDestroy(SysInfo_ParamList* list) {
    delete list;
}
