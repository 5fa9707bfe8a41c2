// The library's exception classes. Every one derives from the configuration store's
// ConfigStoreException (code, message, argument list); ConfigManagerException is the
// library's own base and the five leaves tell a caller which condition occurred. An error that
// wraps a plugin's failure may carry the plugin's own error as its cause.
#pragma once

#include <optional>

#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/export.h"
#include "tarn/json/config_store_exception.h"

namespace TarnConfigManager {

class TARN_EXPORT ConfigManagerException : public TarnConfigStore::ConfigStoreException {
public:
    using TarnConfigStore::ConfigStoreException::ConfigStoreException;
    ~ConfigManagerException() override;

    // The plugin's own error (id and arguments) behind this one; null when there is none.
    const ErrorInfo* GetCause() const { return cause_ ? &*cause_ : nullptr; }
    void SetCause(ErrorInfo cause) { cause_ = std::move(cause); }

private:
    std::optional<ErrorInfo> cause_;
};

// Apply or a host configuration change needs maintenance mode.
class TARN_EXPORT HostNotInMM : public ConfigManagerException {
public:
    using ConfigManagerException::ConfigManagerException;
    ~HostNotInMM() override;
};

// An impact result no longer matches the host.
class TARN_EXPORT InvalidImpact : public ConfigManagerException {
public:
    using ConfigManagerException::ConfigManagerException;
    ~InvalidImpact() override;
};

// The caller's input is not acceptable.
class TARN_EXPORT InvalidArgumentException : public ConfigManagerException {
public:
    using ConfigManagerException::ConfigManagerException;
    ~InvalidArgumentException() override;
};

// Other desired configuration is pending and the host needs a reboot.
class TARN_EXPORT HostInDBM : public ConfigManagerException {
public:
    using ConfigManagerException::ConfigManagerException;
    ~HostInDBM() override;
};

// A key has no schema.
class TARN_EXPORT SchemaNotFound : public ConfigManagerException {
public:
    using ConfigManagerException::ConfigManagerException;
    ~SchemaNotFound() override;
};

}  // namespace TarnConfigManager
