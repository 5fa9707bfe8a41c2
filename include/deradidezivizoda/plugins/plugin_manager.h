// PluginManager: loads every plugin manifest below the plugin directory that supports one
// kind of work, indexes the plugins by the keys they serve and, for apply work, orders the
// apply groups and operation tags by their dependencies. Built and used by one thread for
// the length of one operation; the Plugins it hands out are shared and outlive it. The
// manifests are read once per process and kept while the plugin folder is unchanged.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "deradidezivizoda/export.h"
#include "deradidezivizoda/plugins/plugin.h"

namespace TarnConfigManager {

class TARN_EXPORT PluginManager {
public:
    // Node name (apply group or provided tag) to the names it must come after.
    using DependencyTable = std::unordered_map<std::string, std::vector<std::string>>;

    // Loads the manifests for type. Throws ConfigManagerException 3000 when the plugin
    // directory cannot be walked, DEPENDENCY_ERROR (2083) when the apply order cannot be
    // built, and whatever a bad manifest raises (see Plugin).
    explicit PluginManager(PluginType type);
    ~PluginManager();
    PluginManager(PluginManager&&) noexcept;
    PluginManager& operator=(PluginManager&&) noexcept;

    void Load(PluginType type);
    void ProcessJson(const char* path, PluginType type);
    void BuildDependencies();
    void ProcessOperation(const PluginApplyOperation& operation, const std::string& group,
                          DependencyTable& table);

    // The plugins serving the id's component, group and key (the instance id is ignored).
    std::vector<std::shared_ptr<Plugin>> Find(const TarnConfigStore::ConfigStoreObjectId& id);
    std::vector<std::shared_ptr<Plugin>> GetPlugins();
    // Apply groups and provided tags, each after everything it depends on.
    std::vector<std::string> GetDependencies();
    // "<component>/<group>/<key>:<manifest path>" for every key a loaded plugin serves.
    std::vector<std::string> List();

private:
    friend struct PluginLookup;
    // Indexes plugin, loaded from path, when it supports type.
    void Add(const std::string& path, const std::shared_ptr<Plugin>& plugin, PluginType type);
    struct Tables;
    std::unique_ptr<Tables> tables;
};

}  // namespace TarnConfigManager
