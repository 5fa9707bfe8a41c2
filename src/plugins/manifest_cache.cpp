#include "plugins/manifest_cache.h"

#include <mutex>
#include <unordered_map>

#include "deradidezivizoda/plugins/manifest_files.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"
#include "tarn/schemastore/folder_watch.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

namespace {

struct ManifestCache {
    std::mutex mutex;
    TarnSchemaStore::FolderWatch watch;
    bool listed = false;  // paths is the folder's listing, watched since it was taken
    uint64_t generation = 0;
    // The folder listed: a folder put in its place (a parent renamed) is not seen by the watch.
    TarnConfigStore::FileIdentity folder;
    std::vector<std::string> paths;
    std::unordered_map<std::string, std::shared_ptr<Plugin>> plugins;
    // The schema store the kept plugins' schema texts agree with; empty until one needs it.
    std::shared_ptr<TarnSchemaStore::SchemaStore> schemas;
};

ManifestCache& TheCache() {
    static ManifestCache cache;
    return cache;
}

bool ListingStillCurrent(const ManifestCache& cache) {
    TarnConfigStore::FileIdentity folder;
    return cache.listed && !cache.watch.MayHaveChanged() &&
           TarnConfigStore::IdentifyFile(TarnPaths::kPluginDir, folder) && folder == cache.folder;
}

void Drop(ManifestCache& cache) {
    cache.listed = false;
    cache.paths.clear();
    cache.plugins.clear();
    cache.schemas.reset();
    ++cache.generation;
}

// Walks the folder under a new watch. Nothing is kept when the walk fails or the folder cannot
// be watched: the next call walks again.
std::string Relist(ManifestCache& cache) {
    Drop(cache);
    cache.watch.Restart();
    TarnConfigStore::FileIdentity folder;
    const bool identified = TarnConfigStore::IdentifyFile(TarnPaths::kPluginDir, folder);
    std::string error;
    cache.paths = FindManifestFiles(TarnPaths::kPluginDir, error, &cache.watch);
    if (!error.empty()) {
        cache.paths.clear();
        return error;
    }
    cache.listed = identified && cache.watch.IsWatching();
    cache.folder = folder;
    return error;
}

// A plugin's schema text comes from the schema store as it was when the plugin was loaded; a
// store changed since then drops every kept plugin.
void DropPluginsOfOtherSchemas(ManifestCache& cache) {
    if (cache.schemas && cache.schemas != TarnSchemaStore::SchemaStore::GetStore()) {
        cache.plugins.clear();
        cache.schemas.reset();
    }
}

}  // namespace

ManifestSnapshot CurrentManifests() {
    ManifestCache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    ManifestSnapshot snapshot;
    if (ListingStillCurrent(cache)) {
        DropPluginsOfOtherSchemas(cache);
    } else {
        snapshot.error = Relist(cache);
    }
    snapshot.generation = cache.generation;
    snapshot.manifests.reserve(cache.paths.size());
    for (const std::string& path : cache.paths) {
        auto kept = cache.plugins.find(path);
        snapshot.manifests.emplace_back(path, kept == cache.plugins.end() ? nullptr : kept->second);
    }
    if (!cache.listed) {
        Drop(cache);  // this snapshot's listing is not watched: the next call walks again
    }
    return snapshot;
}

void KeepLoadedManifest(uint64_t generation, const std::string& path,
                        const std::shared_ptr<Plugin>& plugin) {
    ManifestCache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (generation != cache.generation || !cache.listed) {
        return;
    }
    const auto keys = plugin->GetCSOIdList();
    if (!keys.empty()) {
        // The plugin just read its schema text from the store; it is kept only when that text is
        // the store's now, and the store is remembered to tell when it changes.
        auto schemas = TarnSchemaStore::SchemaStore::GetStore();
        if (cache.schemas && schemas != cache.schemas) {
            cache.plugins.clear();
        }
        cache.schemas = schemas;
        const auto& first = keys.front();
        if (!schemas || schemas->GetSchemaText(first.GetComponent(), first.GetGroup(),
                                               first.GetKey()) != plugin->GetSchemaText()) {
            return;
        }
    }
    cache.plugins[path] = plugin;
}

}  // namespace TarnConfigManager
