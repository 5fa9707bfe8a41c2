#include "deradidezivizoda/core/error_codes.h"
#include "deradidezivizoda/core/exceptions.h"

namespace TarnConfigManager {

const CMErrorTable& ErrorMessageTemplates() {
    static const CMErrorTable table = {
        {DB_CONNECT_ERROR, "Failed to connect to ConfigStore"},
        {SCHEMA_NOT_FOUND, "Schema object not found: %s"},
        {NOT_SINGLETON, "Not a Singleton object: %s"},
        {EMPTY_DOC, "The desired configuration document is empty."},
        {EMPTY_INPUT, "The Apply API was invoked without valid input."},
        {INVALID_IMPACT, "The impact result is not applicable anymore."},
        {NOT_IN_MAINT_MODE, "The host must be in maintenance mode for apply to proceed."},
        {DELETE_DEFAULT_NOT_SUPPORTED, "Deleting default configuration for %s is not supported."},
        {SINGLETON_ERROR, "Not a Non-Singleton object: %s"},
        {HOST_IN_DBM, "The host has other pending desired configurations, please reboot the host."},
        {NOT_FOUND, "No configuration found for %s in the config store"},
        {EXTRACT_FAILED, "Extract plugin failed: %s"},
        {EXTRACT_INVALID_CONFIG, "Extract plugin(s) returned invalid config: %s"},
        {EXTRACT_MULTIPLE_PLUGINS, "Multiple extract plugins found for config: %s"},
        {PARSE_ERROR, "Failed to parse JSON String"},
        {INVALID_PLUGIN, "The plugin JSON does not validate against schema: %s"},
        {UNSUPPORTED_PLUGIN_VERSION, "The plugin JSON version is not supported: %s"},
        {DEPENDENCY_ERROR, "Failed to create dependency graph from plugin JSON files."},
        {INVALID_KEY_VALUE, "Invalid value for key %s"},
        {APPLY_PLUGIN_ABSENT, "No Apply plugins were found for %s configuration."},
        {SCHEMA_STORE_ERROR, "Failed to access SchemaStore"},
        {UNSUPPORTED_CONFIG, "Cannot use HostAPIs as Configuration is not user configuration"},
    };
    return table;
}

const CMErrorTable& ErrorMessageIds() {
    static const CMErrorTable table = {
        {DB_CONNECT_ERROR, "com.corvid.tarn.settings.configmanager.db-connect-error"},
        {SCHEMA_NOT_FOUND, "com.corvid.tarn.settings.configmanager.schema-not-found"},
        {NOT_SINGLETON, "com.corvid.tarn.settings.configmanager.not-singleton"},
        {EMPTY_DOC, "com.corvid.tarn.settings.configmanager.empty-doc"},
        {EMPTY_INPUT, "com.corvid.tarn.settings.check-apply.empty-input"},
        {INVALID_IMPACT, "com.corvid.tarn.settings.impact.invalid"},
        {NOT_IN_MAINT_MODE, "com.corvid.tarn.settings.apply.not-in-maint-mode"},
        {DELETE_DEFAULT_NOT_SUPPORTED,
         "com.corvid.tarn.settings.extract.delete-default-not-supported"},
        {SINGLETON_ERROR, "com.corvid.tarn.settings.configmanager.singleton-error"},
        {HOST_IN_DBM, "com.corvid.tarn.settings.configmanager.host-in-dbm"},
        {NOT_FOUND, "com.corvid.tarn.settings.configmanager.not-found"},
        {EXTRACT_FAILED, "com.corvid.tarn.settings.extract.failed"},
        {EXTRACT_INVALID_CONFIG, "com.corvid.tarn.settings.extract.invalid-config"},
        {EXTRACT_MULTIPLE_PLUGINS, "com.corvid.tarn.settings.extract.multiple-plugins"},
        {PARSE_ERROR, "com.corvid.tarn.settings.configmanager.parse-error"},
        {INVALID_PLUGIN, "com.corvid.tarn.settings.configmanager.invalid-plugin"},
        {UNSUPPORTED_PLUGIN_VERSION,
         "com.corvid.tarn.settings.configmanager.unsupported-plugin-version"},
        {DEPENDENCY_ERROR, "com.corvid.tarn.settings.apply.dependency-error"},
        {INVALID_KEY_VALUE, "com.corvid.tarn.settings.configmanager.invalid-key-value"},
        {APPLY_PLUGIN_ABSENT, "com.corvid.tarn.settings.configmanager.apply-plugin-absent"},
        {SCHEMA_STORE_ERROR, "com.corvid.tarn.settings.configmanager.schema-store-error"},
        {UNSUPPORTED_CONFIG, "com.corvid.tarn.settings.hostapi.unsupported-config"},
        {UNEXPECTED_ERROR, "com.corvid.tarn.settings.configmanager.unexpected-error"},
    };
    return table;
}

// Out-of-line destructors anchor each class's type information in this library, so a
// caller's catch clause matches what the library throws.
ConfigManagerException::~ConfigManagerException() = default;
HostNotInMM::~HostNotInMM() = default;
InvalidImpact::~InvalidImpact() = default;
InvalidArgumentException::~InvalidArgumentException() = default;
HostInDBM::~HostInDBM() = default;
SchemaNotFound::~SchemaNotFound() = default;

}  // namespace TarnConfigManager
