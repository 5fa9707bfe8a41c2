#include "deradidezivizoda/extract/ssh_sync.h"

#include <exception>

#include "tarn/logger/cs_logger.h"
#include "tarn/sablectl/feature_state.h"
#include "tarn/sablectl/ssh_config.h"

namespace TarnConfigManager {

namespace {

// Copies one SSH file into the store; a failure is logged and does not stop the others.
template <typename Config>
void SyncFile(const char* synced, const char* failed) {
    try {
        Config config(SableCtl::System::SYSTEM_STATE_RUNNING);
        if (config.UpgradeConfigToConfigStore()) {
            CSLogger::Log(2, "%s", synced);
        }
    } catch (const std::exception& error) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
        CSLogger::Log(0, failed, error.what());
#pragma GCC diagnostic pop
    }
}

}  // namespace

void SyncSshConfiguration() {
    FeatureState_InitDeltaMode();
    SyncFile<SableCtl::System::SshAuthKeysConfigImpl>(
        "SSH auth keys configuration synced to config store successfully.",
        "SSH auth keys configuration failed to sync to config store error=%s.");
    if (FeatureState_IsEnabled("Sableapps_BlockSshFileEdits")) {
        CSLogger::Log(2,
                      "Sableapps_BlockSshFileEdits FSS is enabled, skip syncing sshd_config and "
                      "ssh_config files.");
        return;
    }
    SyncFile<SableCtl::System::SshClientConfigImpl>(
        "SSH client configuration synced to config store successfully.",
        "SSH client configuration failed to sync to config store error=%s.");
    SyncFile<SableCtl::System::SshServerConfigImpl>(
        "SSH server configuration synced to config store successfully",
        "SSH server configuration failed to sync to config store error=%s.");
    CSLogger::Log(2, "SSH configurations synced.");
}

}  // namespace TarnConfigManager
