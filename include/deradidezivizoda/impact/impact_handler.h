// ImpactHandler: the drift handler that turns the differences between a desired document and
// the host into an impact judgement: compliance, whether the key schemas demand a reboot or
// maintenance mode (per object and per property), one impact message per changed object, the
// impact plugin of each changed object (the plugin map) and the drift cache that carries the
// drift of cached keys from CheckApply to Apply. It runs no plugin. One drift computation on
// one thread; the caller reads the results afterwards.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "deradidezivizoda/drift/drift_handler.h"
#include "deradidezivizoda/export.h"
#include "deradidezivizoda/impact/impact_info.h"
#include "deradidezivizoda/impact/task_map.h"

namespace TarnConfigManager {

class TARN_EXPORT ImpactHandler : public DriftHandler {
public:
    using ImpactInfoSet = std::unordered_set<ImpactInfo, ImpactInfoHash>;
    using PluginMap = std::unordered_map<std::string, TaskMap>;

    // Cache modes: the drift cache is not used (the default), written, or read.
    static constexpr int kCacheUnused = 0;
    static constexpr int kCacheWrite = 1;
    static constexpr int kCacheRead = 2;

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

    bool GetCompliant() const;
    bool GetRebootRequired() const;
    bool GetMaintenanceModeRequired() const;
    ImpactInfoSet GetImpactInfo() const;
    PluginMap GetPluginMap() const;

    // Set before the drift computation; kCacheRead needs the cache loaded first and unchanged
    // during the computation.
    void SetCacheMode(int mode);
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
    struct Impl;
    friend class ImpactHandlerAccess;
    std::unique_ptr<Impl> impl;
};

}  // namespace TarnConfigManager
