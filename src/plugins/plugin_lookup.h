// The plugin manager's lookup for callers inside the library that hold the id's text
// already (id.toString(), for their own log lines), so it is built once per object.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/plugins/plugin_manager.h"

namespace TarnConfigManager {

struct PluginLookup {
    // PluginManager::Find, logging idText (id.toString()) for each plugin found.
    static std::vector<std::shared_ptr<Plugin>> Find(PluginManager& manager,
                                                     const TarnConfigStore::ConfigStoreObjectId& id,
                                                     const std::string& idText);
};

}  // namespace TarnConfigManager
