// Copying the host's SSH files (root's authorized keys, the client and the server
// configuration) into the configuration store before the current configuration is read.
// Runs on the caller's thread.
#pragma once

#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

// Synchronises the authorised keys, and, unless the feature "Sableapps_BlockSshFileEdits" is
// enabled (the files are then edited only through the store), the client and server
// configuration. A failing file is logged at priority 0 and the others still go.
TARN_EXPORT void SyncSshConfiguration();

}  // namespace TarnConfigManager
