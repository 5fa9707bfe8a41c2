// The boot-time apply: bootstrapping a deployed host from a document (now, or stored with its
// deployment files for the next boot), applying the stored desired configuration at every
// boot, and how the boot went. The host agent calls these on its own thread while booting.
#pragma once

#include <string>
#include <vector>

#include "deradidezivizoda/apply/boot_apply_info.h"
#include "deradidezivizoda/export.h"
#include "deradidezivizoda/plugins/plugin_request.h"

namespace TarnConfigManager {

// The message id of a key whose stored configuration could not be restored during boot; its
// arguments are the component, group and key.
inline constexpr const char kBootRestoreFailed[] = "com.corvid.tarn.settings.boot-restore.failed";

// Validates the document in the file at path and applies it now, or, when it needs a reboot,
// stores it as the desired configuration together with the deployment files (which leave the
// disk once the store holds them). 0 on success, 1 on failure (logged). Errors reading,
// validating or measuring the document pass to the caller.
TARN_EXPORT int ApplyBootDocument(const std::string& path);

// Restores the deployment files a bootstrap preserved, applies the stored desired
// configuration with the boot-capable apply plugins and stores the boot apply record.
// Plugin failures go into the record; store and file failures are thrown.
TARN_EXPORT void ExecuteBootPlugins();

// Status 3 until the boot is complete; then 0, or 1 with the boot apply failure and the keys
// whose configuration could not be restored. ConfigStoreException 1082 for a malformed boot
// apply state.
TARN_EXPORT BootApplyInfo GetBootApplyInfo();

// One task per object of document ("profile"-wrapped or not), not compared with the host:
// SET for a single-instance key, ADD for each instance of a multi-instance key. SCHEMA_NOT_FOUND
// (2021) for a key without a schema; 1082 for a document of the wrong shape.
TARN_EXPORT std::vector<DesiredConfigInput> GenerateBootTimeTasks(
    const rapidjson::Document& document);

}  // namespace TarnConfigManager
