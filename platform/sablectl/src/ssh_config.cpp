#include "tarn/sablectl/ssh_config.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "ssh_text.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/paths.h"

namespace SableCtl {
namespace System {

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// The file's text; false when it does not exist. Other failures throw, naming the file.
bool ReadFileText(const std::string& path, std::string& text) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        if (errno == ENOENT) {
            return false;
        }
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    }
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0) {
        text.append(buffer, count);
    }
    if (std::ferror(file.get())) {
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    }
    return true;
}

// The key's current rows as (identifier, value) pairs, in store order.
std::vector<SshConfigRow> StoredRows(const std::shared_ptr<DBStore::StoreConnection>& connection,
                                     const std::string& key) {
    std::vector<SshConfigRow> rows;
    TarnConfigStore::ConfigStoreObjectId id(key, kSshGroup, kSshComponent);
    for (const auto& row :
         TarnConfigStore::ReadKeyRows(connection, TarnConfigStore::RowTable::kCurrent, id)) {
        rows.push_back({row->at("Identifier"), row->at("Value")});
    }
    return rows;
}

bool SameRows(const std::vector<SshConfigRow>& a, const std::vector<SshConfigRow>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.identifier == y.identifier && x.value == y.value;
    });
}

bool HasIdentifier(const std::vector<SshConfigRow>& rows, const std::string& identifier) {
    return std::any_of(rows.begin(), rows.end(), [&identifier](const SshConfigRow& row) {
        return row.identifier == identifier;
    });
}

}  // namespace

SshConfigFile::SshConfigFile(int systemState, std::string path, std::string key)
    : state_(static_cast<SystemState>(systemState)), path_(std::move(path)), key_(std::move(key)) {
    if (systemState != SYSTEM_STATE_BOOT && systemState != SYSTEM_STATE_RUNNING) {
        throw std::invalid_argument("Unknown system state " + std::to_string(systemState) +
                                    " for the SSH configuration " + key_);
    }
}

SshConfigFile::~SshConfigFile() = default;

bool SshConfigFile::UpgradeConfigToConfigStore() {
    if (state_ == SYSTEM_STATE_BOOT) {
        return false;
    }
    std::string text;
    std::vector<SshConfigRow> rows;
    if (ReadFileText(path_, text)) {
        rows = Parse(text);
    }
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    std::vector<SshConfigRow> stored = StoredRows(connection, key_);
    if (SameRows(rows, stored)) {
        return true;
    }
    // Rows that stay are rewritten in place, so they keep their position among all rows.
    TarnConfigStore::ConfigStoreTransaction transaction(connection);
    for (const SshConfigRow& old : stored) {
        if (!HasIdentifier(rows, old.identifier)) {
            TarnConfigStore::DeleteRows(connection, TarnConfigStore::RowTable::kCurrent,
                                        TarnConfigStore::ConfigStoreObjectId(
                                            key_, kSshGroup, kSshComponent, old.identifier));
        }
    }
    for (const SshConfigRow& row : rows) {
        TarnConfigStore::PutCurrentRow(connection, kSshComponent, kSshGroup, key_, row.identifier,
                                       row.value);
    }
    transaction.Commit();
    return true;
}

std::string RootAuthorizedKeysPath() {
    return std::string(TarnPaths::kSshDir) + "keys-root/authorized_keys";
}

SshAuthKeysConfigImpl::SshAuthKeysConfigImpl(int systemState)
    : SshConfigFile(systemState, RootAuthorizedKeysPath(), "authorized_keys") {}

std::vector<SshConfigRow> SshAuthKeysConfigImpl::Parse(const std::string& text) const {
    return ParseAuthorizedKeys(text, GetPath());
}

SshClientConfigImpl::SshClientConfigImpl(int systemState)
    : SshConfigFile(systemState, std::string(TarnPaths::kSshDir) + "ssh_config", "client_config") {}

std::vector<SshConfigRow> SshClientConfigImpl::Parse(const std::string& text) const {
    return ParseKeywordFile(text, GetPath(), {"Host", "Match"});
}

SshServerConfigImpl::SshServerConfigImpl(int systemState)
    : SshConfigFile(systemState, std::string(TarnPaths::kSshDir) + "sshd_config", "server_config") {
}

std::vector<SshConfigRow> SshServerConfigImpl::Parse(const std::string& text) const {
    return ParseKeywordFile(text, GetPath(), {"Match"});
}

}  // namespace System
}  // namespace SableCtl
