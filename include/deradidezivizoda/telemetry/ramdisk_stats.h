// The usage of the RAM disk that holds the configuration store, read from the kernel's
// system-information interface on every call. Stateless; any thread.
#pragma once

#include "deradidezivizoda/export.h"
#include "tarn/hostctl/sys_info.h"

namespace TarnConfigManager {

// Fills stats with the store's RAM-disk statistics; false (logged at priority 0) when the
// interface's signature does not match or the read fails.
TARN_EXPORT bool GetCurrentConfigStoreStats(LodeFS_SysInfoRamStats* stats);

// The size reserved for the store's RAM disk in bytes. ConfigStoreException 2000 "Failed to
// get data from GetReservedRamdiskSize" when the statistics cannot be read.
TARN_EXPORT long GetReservedRamdiskSize();

// The space in use on the store's RAM disk in bytes. ConfigStoreException 2000 "Failed to get
// data from GetRamDiskUsage" when the statistics cannot be read.
TARN_EXPORT long GetRamDiskUsage();

}  // namespace TarnConfigManager
