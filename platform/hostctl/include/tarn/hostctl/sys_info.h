// SysInfo: the kernel's system-information interface. Nodes are read from small state files
// under the host root: the interface signature from the signature file (21 when absent),
// maintenance mode from the maintenance-mode file (an integer, 0 when absent).
// RAM-disk statistics come from statvfs of the store's folder. Stateless; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The signature version the host libraries were built against.
constexpr int kSysInfoSignatureVersion = 21;

struct SysInfo_Sig {
    int version;
};

enum SysInfo_Node {
    SysInfo_NODE_system_maintenanceMode = 1,  // int32_t, 1 means on
    SysInfo_NODE_system_ramdiskStats = 2,     // SysInfo_RamdiskStats, parameter: ramdisk name
};

struct SysInfo_RamdiskStats {
    uint64_t maxBytes;
    uint64_t usedBytes;
};

struct SysInfo_ParamList {
    std::vector<std::string> values;
};

// Returns 0 when the interface's signature equals expected, an errno value otherwise.
// found receives the interface's signature and wanted the expected one (either may be null).
int SysInfo_CheckSig(SysInfo_Sig* found, int expected, SysInfo_Sig* wanted);

// Reads one node into buffer (size bytes). Returns 0 or an errno value: EINVAL for an
// unknown node or a buffer of the wrong size, EIO for an unreadable state file.
int SysInfo_Get(SysInfo_Node node, const SysInfo_ParamList* params, void* buffer, size_t size);

int SysInfo_ParamListCreate(SysInfo_ParamList** list);
int SysInfo_ParamListAddString(SysInfo_ParamList* list, const char* value);
void SysInfo_ParamListDestroy(SysInfo_ParamList* list);
