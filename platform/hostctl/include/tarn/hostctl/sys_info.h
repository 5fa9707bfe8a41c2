// SysInfo: the kernel's system-information interface. Nodes are read from small state files
// under the host root: the interface signature from the signature file (21 when absent),
// maintenance mode from the maintenance-mode file (an integer, 0 when absent), which
// SysInfo_SetMaintenanceMode writes.
// RAM-disk statistics come from statvfs of the store's folder, the reserved size from the
// RAM-disk reservation file when it exists (docs/host-root.md). Stateless; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

// The signature version the host libraries were built against.
constexpr int kSysInfoSignatureVersion = 21;

struct SysInfo_Sig {
    int version;
};

enum SysInfo_Node {
    SysInfo_NODE_system_maintenanceMode = 1,  // int32_t, 1 means on
    // LodeFS_SysInfoRamStats, parameter: the RAM disk's name ("configstore")
    SysInfo_NODE_system_lodefs_ramdisks_stats = 2,
};

// The RAM-disk statistics record: 178 bytes, integers in host byte order.
#pragma pack(push, 1)
struct LodeFS_SysInfoRamStats {
    uint32_t recordVersion;  // 1
    int32_t reservedMiB;     // the size reserved for the RAM disk, in MiB
    uint32_t usedPages;      // space in use, in 4096-byte pages
    uint32_t freePages;      // space still free, in 4096-byte pages
    char name[162];          // the RAM disk's name, NUL-terminated
};
#pragma pack(pop)
static_assert(sizeof(LodeFS_SysInfoRamStats) == 178, "the record is 178 bytes");

struct SysInfo_ParamList {
    std::vector<std::string> values;
};

// Returns 0 when the interface's signature equals expected, an errno value otherwise.
// found receives the interface's signature and wanted the expected one (either may be null).
int SysInfo_CheckSig(SysInfo_Sig* found, int expected, SysInfo_Sig* wanted);

// Reads one node into buffer (size bytes). Returns 0 or an errno value: EINVAL for an
// unknown node or a buffer of the wrong size, EIO for an unreadable state file.
int SysInfo_Get(SysInfo_Node node, const SysInfo_ParamList* params, void* buffer, size_t size);

// Puts the host into maintenance mode (enabled) or takes it out: the one writer of the
// maintenance-mode file, replaced atomically and durably (the folder is created when
// missing). Returns 0 or an errno value; the file is then the old one, whole.
int SysInfo_SetMaintenanceMode(bool enabled);

// The readable text of a status SysInfo_* returned.
const char* SABLE_ReturnStatusToString(int status);

// list receives a new list with room for capacity values (a hint), freed by
// SysInfo_ParamListDestroy.
int SysInfo_ParamListCreate(SysInfo_ParamList** list, int capacity = 0);
int SysInfo_ParamListAddString(SysInfo_ParamList* list, const char* value);
void SysInfo_ParamListDestroy(SysInfo_ParamList* list);

TARN_PUBLIC_END
