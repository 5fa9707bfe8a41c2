#include "tarn/hostctl/sys_info.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

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

int ReadRamdiskStats(const SysInfo_ParamList* params, void* buffer, size_t size) {
    if (size != sizeof(SysInfo_RamdiskStats) || !params || params->values.empty()) {
        return EINVAL;
    }
    std::string folder = std::filesystem::path(TarnPaths::kConfigStoreDb).parent_path().string();
    struct statvfs st;
    if (statvfs(folder.c_str(), &st) != 0) {
        return errno;
    }
    SysInfo_RamdiskStats stats;
    stats.maxBytes = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
    stats.usedBytes = static_cast<uint64_t>(st.f_blocks - st.f_bfree) * st.f_frsize;
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
        case SysInfo_NODE_system_ramdiskStats:
            return ReadRamdiskStats(params, buffer, size);
    }
    return EINVAL;
}

int SysInfo_ParamListCreate(SysInfo_ParamList** list) {
    if (!list) {
        return EINVAL;
    }
    *list = new SysInfo_ParamList();
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
