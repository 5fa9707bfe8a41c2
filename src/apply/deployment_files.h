// The two files a network-booted host is deployed with (the notification document and the
// firewall rules) and their hand-over across a reboot through one object of the store's
// global namespace. Every step leaves the files on disk, or their texts committed, or both:
// the files are moved aside (not deleted) until the commit, and put back when it fails.
// Private to the library; one thread.
#pragma once

#include <memory>
#include <string>

namespace TarnConfigStore {
class ConfigStore;
}

namespace TarnConfigManager {

// Takes both files into the store inside the caller's open transaction. Failures throw
// std::runtime_error with the text the caller reports; the files are then where they were.
class DeploymentFilesHandover {
public:
    DeploymentFilesHandover() = default;
    // Puts the files back unless Finish was called.
    ~DeploymentFilesHandover();
    DeploymentFilesHandover(const DeploymentFilesHandover&) = delete;
    DeploymentFilesHandover& operator=(const DeploymentFilesHandover&) = delete;

    // Reads both files, writes the preserving object and moves the files aside.
    void Preserve();
    // After the commit: deletes the set-aside copies.
    void Finish();

private:
    bool notifyAside_ = false;
    bool firewallAside_ = false;
    bool finished_ = false;
};

// Settles what a process that died during a hand-over left: a set-aside copy whose text the
// store holds is deleted, any other one is put back (unless a newer file took its place).
void RecoverDeploymentFiles(TarnConfigStore::ConfigStore& store);

// Writes the preserved files back to their paths (each atomically) and then drops the
// preserving object; nothing when there is none. A file that cannot be written throws
// std::runtime_error and keeps the object, so the next boot tries again.
void RestoreDeploymentFiles(TarnConfigStore::ConfigStore& store);

}  // namespace TarnConfigManager
