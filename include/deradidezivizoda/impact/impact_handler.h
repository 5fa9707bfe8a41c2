// ImpactHandler: the drift handler that turns the differences between a desired document and
// the host into an impact judgement: compliance, whether the key schemas demand a reboot or
// maintenance mode (per object and per property), one impact message per changed object, the
// impact plugin of each changed object (the plugin map) and the drift cache that carries the
// drift of cached keys from CheckApply to Apply. It runs no plugin. One drift computation on
// one thread; the caller reads the results afterwards.
#pragma once

#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "deradidezivizoda/drift/drift_handler.h"
#include "deradidezivizoda/export.h"
#include "deradidezivizoda/impact/impact_info.h"
#include "deradidezivizoda/impact/task_map.h"
#include "deradidezivizoda/plugins/plugin_manager.h"

namespace TarnConfigManager {

class TARN_EXPORT ImpactHandler : public DriftHandler {
public:
    using ImpactInfoSet = std::unordered_set<ImpactInfo, ImpactInfoHash>;
    using PluginMap = std::unordered_map<std::string, TaskMap>;

    // What the handler does with the drift cache.
    enum CacheMode : int { kCacheUnused = 0, kCacheWrite = 1, kCacheRead = 2 };

    // Loads the impact plugins (PluginManager errors pass on); the drift cache starts as {}.
    ImpactHandler();
    ~ImpactHandler() override;

    void Add(const Value& desired, const ObjectId& id, const Schema& schema,
             const std::string& path) override;
    void Set(const Value& desired, const Value& host, const ObjectId& id, const Schema& schema,
             const std::string& path, const Value& driftObject) override;
    void Delete(const Value& host, const ObjectId& id, const Schema& schema,
                const std::string& path) override;
    void PropertyDrift(const Value& desired, const Value& host, const Value& definition,
                       const std::string& path, ACTION action) override;

    bool GetCompliant() const { return compliant; }
    bool GetRebootRequired() const { return rebootRequired; }
    bool GetMaintenanceModeRequired() const { return maintenanceModeRequired; }
    ImpactInfoSet GetImpactInfo() const { return impactInfo; }
    PluginMap GetPluginMap() const { return pluginMap; }
    // The plugin map itself, for reading while the handler lives and computes nothing more.
    const PluginMap& PluginMapView() const { return pluginMap; }

    // Set before the drift computation; kCacheRead needs the cache loaded first and unchanged
    // during the computation.
    void SetCacheMode(int mode) { cacheMode = mode; }
    int GetCacheMode() const { return cacheMode; }
    // The drift cache (the handler's work document): an object of cache key -> {"operation",
    // "drift"}.
    rapidjson::Document& DriftCache() { return workDocument; }

    // True when value matches a property trigger list for the property type typeName; an
    // empty list matches anything. ConfigStoreException 1082 when the list is not an array or
    // an element does not fit the type.
    static bool MatchesImpactTrigger(const Value& value, const Value& triggers,
                                     const std::string& typeName);
    // "<component>:<group>:<key>:<instance id>".
    static std::string CacheKeyOf(const ObjectId& id);

protected:
    void ComputeObjImpact(ACTION action, const Schema& schema, const std::string& path);
    void ComputePropImpact(const Value& value, const Value& schema, const std::string& path);
    void UpdatePluginMap(const ObjectId& id, const Value& value, const Schema& schema,
                         ACTION action, const Value& drift);

private:
    void ObjectChanged(ACTION action, const Value& value, const ObjectId& id, const Schema& schema,
                       const std::string& path, const Value& drift);
    // Adds the impact message of a change of action to id's key, once.
    void NoteImpactInfo(ACTION action, const ObjectId& id);
    void CacheDrift(const ObjectId& id, ACTION action,
                    const std::shared_ptr<TarnConfigStore::DriftObject>& drift);
    // The cached drift of id; current is the drift found now (null when there is none).
    std::shared_ptr<CachedDriftObject> CachedDrift(const ObjectId& id,
                                                   const TarnConfigStore::DriftObject* current);
    // The plugin's cache_drift keys, read from its manifest once per handler.
    const std::vector<TarnConfigStore::ConfigStoreObjectId>& CachedKeysOf(const Plugin& plugin);

    bool compliant = true;
    bool rebootRequired = false;
    bool maintenanceModeRequired = false;
    ImpactInfoSet impactInfo;
    // The message added last: changes come in runs of instances of one key, whose message is
    // in the set already, so the run skips building and hashing it again.
    const ImpactInfo* lastImpactInfo = nullptr;
    bool pendingPropertyReboot = false;
    bool pendingPropertyMaintenanceMode = false;
    PluginManager pluginManager;
    PluginMap pluginMap;
    int cacheMode = kCacheUnused;
    // Cache entries by name, built on the first read (caches hold an entry per object). The
    // names view the cache document's own, which gains no members once it is read.
    // Its nodes and buckets come from one growing buffer instead of a heap block per entry.
    std::pmr::monotonic_buffer_resource cacheIndexPool;
    std::pmr::unordered_map<std::string_view, const Value*> cacheIndex{&cacheIndexPool};
    bool cacheIndexed = false;
    std::string cacheKey;
    std::unordered_map<const Plugin*, std::vector<TarnConfigStore::ConfigStoreObjectId>> cachedKeys;
};

}  // namespace TarnConfigManager
