#include "deradidezivizoda/plugins/plugin_manager.h"

#include <algorithm>
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/topological_sort.hpp>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "deradidezivizoda/core/throw_exception.h"
#include "plugins/manifest_cache.h"
#include "plugins/plugin_lookup.h"
#include "tarn/configstore/join_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace TarnConfigManager {

namespace {

// The legal apply groups and the group each one comes after: a fixed chain.
const PluginManager::DependencyTable& ApplyGroupTable() {
    static const PluginManager::DependencyTable table = {
        {"system-early", {}},
        {"network", {"system-early"}},
        {"storage", {"network"}},
        {"system", {"storage"}},
    };
    return table;
}

// map.at(name), with the same text from every standard library: the failure is logged.
template <typename Map>
const typename Map::mapped_type& At(const Map& map, const std::string& name) {
    auto found = map.find(name);
    if (found == map.end()) {
        throw std::out_of_range("_Map_base::at");
    }
    return found->second;
}

bool SameKey(const TarnConfigStore::ConfigStoreObjectId& a,
             const TarnConfigStore::ConfigStoreObjectId& b) {
    return a.GetKey() == b.GetKey() && a.GetGroup() == b.GetGroup() &&
           a.GetComponent() == b.GetComponent();
}

std::string KeyText(const TarnConfigStore::ConfigStoreObjectId& id) {
    return TarnConfigStore::JoinText({id.GetComponent(), "/", id.GetGroup(), "/", id.GetKey()});
}

// Node names in a fixed order (sorted), so the apply order does not depend on hashing.
std::vector<std::string> NodeNames(const PluginManager::DependencyTable& table) {
    std::vector<std::string> names;
    names.reserve(table.size());
    for (const auto& node : table) {
        names.push_back(node.first);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every node after the nodes it depends on. Throws std::out_of_range for a dependency that
// is no node and boost::not_a_dag for a cycle.
std::vector<std::string> TopologicalOrder(const PluginManager::DependencyTable& table) {
    std::vector<std::string> names = NodeNames(table);
    std::unordered_map<std::string, size_t> number;
    for (size_t i = 0; i < names.size(); ++i) {
        number.emplace(names[i], i);
    }
    using Graph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS>;
    Graph graph(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        for (const std::string& dependency : At(table, names[i])) {
            boost::add_edge(i, At(number, dependency), graph);
        }
    }
    // Depth-first post-order: a node is emitted once everything it points to is emitted.
    std::vector<Graph::vertex_descriptor> emitted;
    boost::topological_sort(graph, std::back_inserter(emitted));
    std::vector<std::string> order;
    order.reserve(emitted.size());
    for (auto vertex : emitted) {
        order.push_back(names[vertex]);
    }
    return order;
}

}  // namespace

struct PluginManager::Tables {
    std::string pluginDir = TarnPaths::kPluginDir;
    std::unordered_map<std::string, std::shared_ptr<Plugin>> plugins;
    std::unordered_multimap<std::string, std::string> extensionTable;
    std::vector<std::string> dependencyOrder;
    // What Find found last, manifest path and plugin per entry: objects come in runs of
    // instances of one key. Emptied whenever the tables change.
    std::optional<TarnConfigStore::ConfigStoreObjectId> lastFoundKey;
    std::vector<std::pair<std::string, std::shared_ptr<Plugin>>> lastFound;
};

PluginManager::PluginManager(PluginType type) : tables(std::make_unique<Tables>()) {
    Load(type);
}

PluginManager::~PluginManager() = default;
PluginManager::PluginManager(PluginManager&&) noexcept = default;
PluginManager& PluginManager::operator=(PluginManager&&) noexcept = default;

void PluginManager::Load(PluginType type) {
    CSLogger::Batch logBatch;  // a line per manifest and key: written together
    ManifestSnapshot snapshot = CurrentManifests();
    if (!snapshot.error.empty()) {
        std::string message =
            "Failed to iterate over " + tables->pluginDir + ", error message: " + snapshot.error;
        throw ConfigManagerException(UNEXPECTED_ERROR, message.c_str());
    }
    for (auto& [path, plugin] : snapshot.manifests) {
        if (plugin) {
            CSLogger::Log(2, "Processing file %s", path.c_str());  // as loading it logs
        } else {
            plugin = std::make_shared<Plugin>(path.c_str());
            KeepLoadedManifest(snapshot.generation, path, plugin);
        }
        Add(path, plugin, type);
    }
    if (type != APPLY && type != APPLY_BOOT) {
        return;
    }
    try {
        BuildDependencies();
    } catch (const std::exception& e) {
        CSLogger::Log(0, "Failed to process dependencies %s", e.what());
        ThrowException<ConfigManagerException>(DEPENDENCY_ERROR);
    }
}

void PluginManager::ProcessJson(const char* path, PluginType type) {
    tables->lastFoundKey.reset();
    tables->lastFound.clear();
    Add(path, std::make_shared<Plugin>(path), type);
}

void PluginManager::Add(const std::string& path, const std::shared_ptr<Plugin>& plugin,
                        PluginType type) {
    if (!plugin->CheckType(type)) {
        CSLogger::Log(3, "File %s does not support type:%d", path.c_str(), static_cast<int>(type));
        return;
    }
    tables->lastFoundKey.reset();
    tables->lastFound.clear();
    tables->plugins[path] = plugin;
    auto keys = type == EXTRACT ? plugin->GetExtractConfigIds() : plugin->GetCSOIdList();
    for (const auto& key : keys) {
        CSLogger::Log(3, "Adding cso %s to extension table %s", key.toString().c_str(),
                      path.c_str());
        tables->extensionTable.emplace(KeyText(key), path);
    }
}

void PluginManager::ProcessOperation(const PluginApplyOperation& operation,
                                     const std::string& group, DependencyTable& table) {
    table[group].push_back(operation.provides);
    std::vector<std::string> depends = At(ApplyGroupTable(), group);
    depends.insert(depends.end(), operation.depends.begin(), operation.depends.end());
    table[operation.provides] = std::move(depends);
}

void PluginManager::BuildDependencies() {
    DependencyTable table = ApplyGroupTable();
    // Plugins in path order, so that a tag provided twice always keeps the same list.
    std::vector<std::string> paths;
    for (const auto& entry : tables->plugins) {
        paths.push_back(entry.first);
    }
    std::sort(paths.begin(), paths.end());
    for (const std::string& path : paths) {
        const Plugin& plugin = *tables->plugins.at(path);
        std::string group = plugin.GetApplyGroup();
        CSLogger::Log(3, "Processing operations in %s", path.c_str());
        if (plugin.GetVersion() == 3) {
            PluginApplyOperation remediate;
            plugin.GetRemediateOperation(remediate);
            ProcessOperation(remediate, group, table);
        } else {
            for (const PluginApplyOperation& operation : plugin.GetOperations()) {
                ProcessOperation(operation, group, table);
            }
        }
    }
    std::vector<std::string> order = TopologicalOrder(table);
    tables->dependencyOrder.insert(tables->dependencyOrder.end(), order.begin(), order.end());
}

std::vector<std::shared_ptr<Plugin>> PluginManager::Find(
    const TarnConfigStore::ConfigStoreObjectId& id) {
    return PluginLookup::Find(*this, id, id.toString());
}

std::vector<std::shared_ptr<Plugin>> PluginLookup::Find(
    PluginManager& manager, const TarnConfigStore::ConfigStoreObjectId& id,
    const std::string& idText) {
    PluginManager::Tables& tables = *manager.tables;
    auto& memo = tables.lastFoundKey;
    auto& lastFound = tables.lastFound;
    if (!memo || !SameKey(*memo, id)) {
        memo.reset();  // a lookup that throws half way leaves nothing remembered
        lastFound.clear();
        auto range = tables.extensionTable.equal_range(KeyText(id));
        for (auto entry = range.first; entry != range.second; ++entry) {
            lastFound.emplace_back(entry->second, tables.plugins.at(entry->second));
        }
        memo.emplace(id.GetKey(), id.GetGroup(), id.GetComponent());
    }
    std::vector<std::shared_ptr<Plugin>> found;
    found.reserve(lastFound.size());
    for (const auto& [path, plugin] : lastFound) {
        CSLogger::Log(3, "Plugin found=%s for cso=%s", path.c_str(), idText.c_str());
        found.push_back(plugin);
    }
    return found;
}

std::vector<std::shared_ptr<Plugin>> PluginManager::GetPlugins() {
    std::vector<std::shared_ptr<Plugin>> all;
    all.reserve(tables->plugins.size());
    for (const auto& entry : tables->plugins) {
        all.push_back(entry.second);
    }
    return all;
}

std::vector<std::string> PluginManager::GetDependencies() {
    return tables->dependencyOrder;
}

std::vector<std::string> PluginManager::List() {
    std::vector<std::string> list;
    list.reserve(tables->extensionTable.size());
    for (const auto& entry : tables->extensionTable) {
        list.push_back(entry.first + ":" + entry.second);
    }
    return list;
}

}  // namespace TarnConfigManager
