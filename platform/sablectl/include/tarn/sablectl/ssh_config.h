// SableCtl::System SSH configuration classes: each copies one of the host's SSH files (root's
// authorized_keys, the client's ssh_config, the server's sshd_config under TarnPaths::kSshDir)
// into the configuration store's current rows, component "tarn", group "ssh" (rows and key
// schemas in docs/configstore.md). An object belongs to the thread that uses it.
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace SableCtl {
namespace System {

// The state of the host the classes work in.
enum SystemState : int {
    // The host boots: the store is the source of the files, nothing is copied into it.
    SYSTEM_STATE_BOOT = 1,
    // The host runs: the files may have been edited and are copied into the store.
    SYSTEM_STATE_RUNNING = 2,
};

inline constexpr const char kSshComponent[] = "tarn";
inline constexpr const char kSshGroup[] = "ssh";

// One row of a file: its instance id (empty for a single-instance key) and JSON value.
struct SshConfigRow {
    std::string identifier;
    std::string value;
};

class SshConfigFile {
public:
    virtual ~SshConfigFile();

    // Reads the file and makes the store's current rows of the key equal to it, in one
    // transaction (rows already equal are left as they are). A missing file leaves the key
    // without rows. Returns false, touching nothing, while the host boots. Throws
    // std::runtime_error naming the file (and line) when it cannot be read or parsed, and the
    // store's exceptions; the store is then unchanged.
    bool UpgradeConfigToConfigStore();

    const std::string& GetPath() const { return path_; }
    const std::string& GetKey() const { return key_; }

protected:
    // Throws std::invalid_argument for a state that is not a SystemState.
    SshConfigFile(int systemState, std::string path, std::string key);
    // The rows of the file's text; throws std::runtime_error naming path and line.
    virtual std::vector<SshConfigRow> Parse(const std::string& text) const = 0;

private:
    SystemState state_;
    std::string path_;
    std::string key_;
};

// Root's authorized_keys: key "authorized_keys", one instance per public key.
class SshAuthKeysConfigImpl : public SshConfigFile {
public:
    explicit SshAuthKeysConfigImpl(int systemState);

protected:
    std::vector<SshConfigRow> Parse(const std::string& text) const override;
};

// The client configuration ssh_config: key "client_config" (blocks start at Host or Match).
class SshClientConfigImpl : public SshConfigFile {
public:
    explicit SshClientConfigImpl(int systemState);

protected:
    std::vector<SshConfigRow> Parse(const std::string& text) const override;
};

// The server configuration sshd_config: key "server_config" (blocks start at Match).
class SshServerConfigImpl : public SshConfigFile {
public:
    explicit SshServerConfigImpl(int systemState);

protected:
    std::vector<SshConfigRow> Parse(const std::string& text) const override;
};

// Where root's authorized_keys lies: <kSshDir>keys-root/authorized_keys.
std::string RootAuthorizedKeysPath();

}  // namespace System
}  // namespace SableCtl

TARN_PUBLIC_END
