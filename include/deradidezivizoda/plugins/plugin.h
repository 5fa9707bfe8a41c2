// Plugin: one plugin manifest in memory. The constructor reads and validates the manifest
// file, derives the plugin's id (and native module name) from where the file lies below the
// plugin directory, and every query after that reads the kept manifest. A Plugin never
// changes after construction, is shared through std::shared_ptr and may be read from any
// thread; its four operations run the plugin as a child process on the caller's thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/export.h"
#include "tarn/configstore/config_store_object_id.h"
#include "tarn/json/json.h"
#include "tarn/pluginsupport/error_info.h"

namespace TarnConfigStore {
class ConfigStoreObject;
}

namespace TarnConfigManager {

struct DesiredConfigInput;
class PluginMonitor;
class ImpactPluginResult;
class ExtractPluginResult;
class ValidationPluginResult;

// The kind of work a plugin manager is loaded for and a plugin is asked about.
enum PluginType : int {
    APPLY = 0,
    APPLY_BOOT = 1,
    EXTRACT = 2,
    IMPACT = 3,
    VALIDATE = 4,
};

// One apply operation: it makes the tag `provides` available once every tag (or apply group)
// in `depends` is done.
struct PluginApplyOperation {
    std::string name;
    std::string provides;
    std::vector<std::string> depends;
};

class TARN_EXPORT Plugin {
public:
    // Loads the manifest at path. Throws ConfigManagerException 3000 (null path, manifest
    // schema missing or not met), 2082 (unsupported version), 2081 (path not of the form the
    // version needs below the plugin directory), 2080 (unreadable or not JSON), 2180 (schema
    // store unavailable) or ConfigStoreException 1082 (a member of the wrong type).
    explicit Plugin(const char* path);
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    ~Plugin();

    long GetVersion() const { return version; }
    std::string GetId() const { return id; }
    std::vector<TarnConfigStore::ConfigStoreObjectId> GetCSOIdList() const { return csoIds; }
    // The manifest's "type": "c++" (native module) or "python".
    const std::string& GetType() const { return type; }
    // "lib<pieces joined with _>.so" for a native plugin; empty for any other type.
    const std::string& GetModule() const { return module; }
    // The schema store's text of the first accepted key; empty when the plugin accepts none.
    const std::string& GetSchemaText() const { return schemaText; }

    std::string GetApplyGroup() const;
    std::vector<PluginApplyOperation> GetOperations() const;
    // Version 3 only: fills op with the "REMEDIATE" operation; other versions leave it alone.
    void GetRemediateOperation(PluginApplyOperation& op) const;

    bool HasApplySupport() const;
    bool HasApplyBootSupport() const;
    bool HasImpactSupport() const;
    bool HasExtractSupport() const;
    bool HasValidateSupport() const;
    bool CheckType(PluginType t) const;

    std::vector<TarnConfigStore::ConfigStoreObjectId> GetExtractConfigIds() const;
    std::vector<TarnConfigStore::ConfigStoreObjectId> GetImpactCacheDetails() const;
    std::vector<TarnConfigStore::ConfigStoreObjectId> GetReferences() const;

    // Returns when the manifest conforms to the manifest schema of its version; throws
    // ConfigManagerException 3000 naming path otherwise.
    void validateFile(const char* path) const;

    // Each runs the plugin once and reports every failure in the result's ErrorInfo.
    ErrorInfo Apply(const std::vector<DesiredConfigInput>& inputs,
                    const std::string& clusterContext,
                    std::shared_ptr<PluginMonitor> monitor) const;
    ImpactPluginResult Impact(const std::vector<DesiredConfigInput>& inputs,
                              const std::string& clusterContext,
                              std::shared_ptr<PluginMonitor> monitor) const;
    // The same into a result the caller keeps from one run to the next (emptied first): its
    // list of impacts keeps its capacity instead of being allocated afresh for every run.
    void Impact(const std::vector<DesiredConfigInput>& inputs, const std::string& clusterContext,
                std::shared_ptr<PluginMonitor> monitor, ImpactPluginResult& result) const;
    ExtractPluginResult Extract(const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids,
                                const std::string& clusterContext,
                                std::shared_ptr<PluginMonitor> monitor) const;
    ValidationPluginResult Validate(
        const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& objects,
        const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& references,
        const std::string& clusterContext, std::shared_ptr<PluginMonitor> monitor) const;

private:
    // Sets type, id and module; returns the folders between the plugin directory and the file.
    std::vector<std::string> SetIdentity(const char* path);
    std::vector<TarnConfigStore::ConfigStoreObjectId> KeyList(const rapidjson::Value& keys) const;
    bool HasSectionSupport(const char* section) const;
    const rapidjson::Value* OptionalKeys(const char* section, const char* member) const;

    long version = 1;
    std::string type;
    std::string module;
    std::string id;
    std::string schemaText;
    rapidjson::Document manifest;
    std::vector<TarnConfigStore::ConfigStoreObjectId> csoIds;
};

}  // namespace TarnConfigManager
