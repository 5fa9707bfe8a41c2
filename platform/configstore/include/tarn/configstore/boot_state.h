// The boot state the configuration store keeps for the host: the boot mode, the boot apply
// state (whether this boot's apply has finished, and its record), and the keys whose stored
// configuration could not be restored during boot. Each call uses the calling thread's
// connection, so it joins a ConfigStoreTransaction open on that thread.
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

enum BOOTMODE {
    NORMAL = 0,           // nothing waits for a reboot
    DESIRED_PENDING = 1,  // a desired configuration is stored and waits for a reboot
    HOSTAPI_PENDING = 4,  // single keys set through the host API wait for a reboot
};

// NORMAL until a mode was set.
BOOTMODE GetBootMode();
// Throws ConfigStoreException 2000 for a value that is not one of BOOTMODE's.
void SetBootMode(BOOTMODE mode);

// Stores the record of this boot's apply, replacing the one before; whether the boot is
// complete does not change.
void setBootApplyRecord(const std::string& record);
// The boot apply state as JSON text: {"isBootComplete": bool, "bootApplyRecord": string};
// false and "" until MarkBootComplete or setBootApplyRecord since the last MarkBootStarted.
std::string getBootApplyRecord();

// A key whose stored configuration could not be restored during boot.
struct BootRestoreFailure {
    std::string component;
    std::string group;
    std::string key;
};
// The failures recorded during this boot, in the order recorded.
std::vector<BootRestoreFailure> GetBootTimeRestoreFailures();
void AddBootTimeRestoreFailure(const std::string& component, const std::string& group,
                               const std::string& key);

// Called once when the host starts booting: the boot apply is not complete, no restore has
// failed yet, and what waited for this reboot no longer waits (boot mode NORMAL).
void MarkBootStarted();
// Called once the host has booted (after the boot-time apply): the boot is complete, and the
// boot apply record and restore failures of this boot are final.
void MarkBootComplete();

}  // namespace TarnConfigStore

TARN_PUBLIC_END
