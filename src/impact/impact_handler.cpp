#include "deradidezivizoda/impact/impact_handler.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <memory_resource>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "deradidezivizoda/plugins/plugin_manager.h"
#include "impact/drift_inputs.h"
#include "impact/impact_handler_access.h"
#include "plugins/plugin_lookup.h"
#include "tarn/configstore/join_text.h"
#include "tarn/json/json_copy.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

using rapidjson::Value;

const char* MessageIdOf(ACTION action) {
    switch (action) {
        case ADD:
            return kImpactInfoAdd;
        case DELETE:
            return kImpactInfoDelete;
        default:
            return kImpactInfoSet;
    }
}

// A current value that stands for "no configuration yet": Set on such a singleton is an ADD.
bool IsAbsentValue(const Value& host) {
    return host.IsNull() || (host.IsObject() && host.MemberCount() == 0) ||
           (host.IsString() && host == "DELETE_DEFAULT");
}

// Whether the schema lists action for one kind of impact; propertyTriggers tells whether the
// key's properties carry triggers of that kind.
using ImpactQuery = int (TarnSchemaStore::SchemaObject::*)(std::vector<std::string>&, bool&) const;
bool ListsAction(const TarnSchemaStore::SchemaObject& schema, ImpactQuery query,
                 std::vector<std::string>& operations, ACTION action, bool& propertyTriggers) {
    propertyTriggers = false;
    operations.clear();
    if ((schema.*query)(operations, propertyTriggers) != TarnSchemaStore::kSchemaQueryOk) {
        return false;
    }
    return std::find(operations.begin(), operations.end(), kActionNames[action]) !=
           operations.end();
}

// The pieces of an object's cache key (CacheKeyOf).
std::array<std::string_view, 7> CacheKeyPieces(const TarnConfigStore::ConfigStoreObjectId& id) {
    return {id.GetComponent(), ":", id.GetGroup(), ":", id.GetKey(), ":", id.GetInstanceId()};
}

bool Contains(const std::vector<TarnConfigStore::ConfigStoreObjectId>& keys,
              const TarnConfigStore::ConfigStoreObjectId& id) {
    return std::any_of(keys.begin(), keys.end(), [&](const auto& key) {
        return key.GetComponent() == id.GetComponent() && key.GetGroup() == id.GetGroup() &&
               key.GetKey() == id.GetKey();
    });
}

}  // namespace

struct ImpactHandler::Impl {
    Impl() : pluginManager(IMPACT) {}

    // Adds the impact message of a change of action to id's key, once.
    void NoteImpactInfo(ACTION action, const ObjectId& id);
    void CacheDrift(rapidjson::Document& cache, const ObjectId& id, ACTION action,
                    const std::shared_ptr<TarnConfigStore::DriftObject>& drift);
    // The cached drift of id; current is the drift found now (null when there is none).
    std::shared_ptr<CachedDriftObject> CachedDrift(
        const rapidjson::Document& cache, const ObjectId& id,
        const std::shared_ptr<TarnConfigStore::DriftObject>& current);
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
    bool viewDesired = false;  // ImpactHandlerAccess::ViewDesiredValues
    // Cache entries by name, built on the first read (caches hold an entry per object). The
    // names view the cache document's own, which gains no members once it is read.
    // Its nodes and buckets come from one growing buffer instead of a heap block per entry.
    std::pmr::monotonic_buffer_resource cacheIndexPool;
    std::pmr::unordered_map<std::string_view, const Value*> cacheIndex{&cacheIndexPool};
    bool cacheIndexed = false;
    std::string cacheKey;
    std::unordered_map<const Plugin*, std::vector<TarnConfigStore::ConfigStoreObjectId>> cachedKeys;
};

ImpactHandler::ImpactHandler() : impl(std::make_unique<Impl>()) {
    consolidatedActionRequired = true;
    createDriftObject = true;
    workDocument.SetObject();
}

ImpactHandler::~ImpactHandler() = default;

bool ImpactHandler::GetCompliant() const {
    return impl->compliant;
}

bool ImpactHandler::GetRebootRequired() const {
    return impl->rebootRequired;
}

bool ImpactHandler::GetMaintenanceModeRequired() const {
    return impl->maintenanceModeRequired;
}

ImpactHandler::ImpactInfoSet ImpactHandler::GetImpactInfo() const {
    return impl->impactInfo;
}

ImpactHandler::PluginMap ImpactHandler::GetPluginMap() const {
    return impl->pluginMap;
}

void ImpactHandler::SetCacheMode(int mode) {
    impl->cacheMode = mode;
}

const ImpactHandler::PluginMap& ImpactHandlerAccess::PluginMapView(const ImpactHandler& handler) {
    return handler.impl->pluginMap;
}

void ImpactHandlerAccess::ViewDesiredValues(ImpactHandler& handler) {
    handler.impl->viewDesired = true;
}

void ImpactHandlerAccess::KeepDriftCacheIn(ImpactHandler& handler,
                                           rapidjson::MemoryPoolAllocator<>& pool) {
    handler.workDocument = rapidjson::Document(&pool);
    handler.workDocument.SetObject();
}

void ImpactHandler::Add(const Value& desired, const ObjectId& id, const Schema& schema,
                        const std::string& path) {
    impl->NoteImpactInfo(ADD, id);
    ComputeObjImpact(ADD, schema, path);
    UpdatePluginMap(id, desired, schema, ADD, kEmptyVal);
}

void ImpactHandler::Set(const Value& desired, const Value& host, const ObjectId& id,
                        const Schema& schema, const std::string& path, const Value& driftObject) {
    ACTION action = !schema->IsMultiInstance() && IsAbsentValue(host) ? ADD : SET;
    impl->NoteImpactInfo(action, id);
    ComputeObjImpact(action, schema, path);
    UpdatePluginMap(id, desired, schema, action, driftObject);
}

void ImpactHandler::Delete(const Value& host, const ObjectId& id, const Schema& schema,
                           const std::string& path) {
    impl->NoteImpactInfo(DELETE, id);
    ComputeObjImpact(DELETE, schema, path);
    UpdatePluginMap(id, host, schema, DELETE, kEmptyVal);
}

void ImpactHandler::Impl::NoteImpactInfo(ACTION action, const ObjectId& id) {
    if (lastImpactInfo && lastImpactInfo->id == MessageIdOf(action)) {
        auto arg = lastImpactInfo->args.begin();
        if (*arg == id.GetKey() && *++arg == id.GetGroup() && *++arg == id.GetComponent()) {
            return;
        }
    }
    // Elements of an unordered set keep their place in memory while the set grows.
    lastImpactInfo =
        &*impactInfo.insert({MessageIdOf(action), {id.GetKey(), id.GetGroup(), id.GetComponent()}})
              .first;
}

void ImpactHandler::PropertyDrift(const Value& desired, const Value&, const Value& definition,
                                  const std::string& path, ACTION action) {
    impl->compliant = false;
    if (action == DELETE) {
        return;
    }
    ComputePropImpact(desired, definition, path);
}

void ImpactHandler::ComputeObjImpact(ACTION action, const Schema& schema, const std::string& path) {
    Impl& state = *impl;
    state.compliant = false;
    std::vector<std::string> operations;
    bool propertyReboot = false;
    bool propertyMaintenance = false;
    bool reboot = ListsAction(*schema, &TarnSchemaStore::SchemaObject::GetRebootRequiredOperations,
                              operations, action, propertyReboot);
    bool maintenance =
        ListsAction(*schema, &TarnSchemaStore::SchemaObject::GetMaintenanceModeRequiredOperations,
                    operations, action, propertyMaintenance);
    const char* name = kActionNames[action];
    if (reboot || maintenance) {
        if (action != SET || (!propertyReboot && !propertyMaintenance)) {
            state.rebootRequired = state.rebootRequired || reboot;
            state.maintenanceModeRequired = state.maintenanceModeRequired || maintenance;
            CSLogger::Log(2,
                          "Impact: maintenanceModeRequired=%d, rebootRequired=%d Op: %s for "
                          "path: %s",
                          maintenance, reboot, name, path.c_str());
        } else {
            // A listed SET counts only when a changed property matched a trigger of its kind.
            if (reboot && state.pendingPropertyReboot) {
                state.rebootRequired = true;
                CSLogger::Log(2, "Impact: rebootRequired, Op: %s for path: %s", name, path.c_str());
            }
            if (maintenance && state.pendingPropertyMaintenanceMode) {
                state.maintenanceModeRequired = true;
                CSLogger::Log(2, "Impact: maintenanceModeRequired, Op: %s for path: %s", name,
                              path.c_str());
            }
        }
    }
    // The property verdicts belonged to this object; they never carry over to the next one.
    state.pendingPropertyReboot = false;
    state.pendingPropertyMaintenanceMode = false;
}

void ImpactHandler::ComputePropImpact(const Value& value, const Value& schema,
                                      const std::string& path) {
    if (value.IsObject()) {
        const Value& properties = schema["properties"];
        for (const auto& member : value.GetObject()) {
            ComputePropImpact(member.value, properties[member.name],
                              path + "/" + member.name.GetString());
        }
        return;
    }
    if (value.IsArray()) {
        const Value& items = schema["items"];
        if (std::string(items["type"].GetString()) != "object") {
            return;  // arrays of plain values trigger nothing
        }
        for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
            ComputePropImpact(value[i], items, path + "/" + std::to_string(i));
        }
        return;
    }
    if (schema.HasMember("rebootRequired") &&
        MatchesImpactTrigger(value, schema["rebootRequired"]["SET"], schema["type"].GetString())) {
        impl->pendingPropertyReboot = true;
        CSLogger::Log(2, "RebootRequired for path: %s", path.c_str());
    }
    if (schema.HasMember("maintenanceModeRequired") &&
        MatchesImpactTrigger(value, schema["maintenanceModeRequired"]["SET"],
                             schema["type"].GetString())) {
        impl->pendingPropertyMaintenanceMode = true;
        CSLogger::Log(2, "MaintenanceMode for path: %s", path.c_str());
    }
}

bool ImpactHandler::MatchesImpactTrigger(const Value& value, const Value& triggers,
                                         const std::string& typeName) {
    if (triggers.Empty()) {
        return true;
    }
    if ((typeName == "integer" || typeName == "long") && value.IsInt64()) {
        CSLogger::Log(2, ">>> DesiredLong: %" PRId64, value.GetInt64());
        for (const Value& trigger : triggers.GetArray()) {
            CSLogger::Log(2, ">>> ImpactLong: %" PRId64, trigger.GetInt64());
            if (trigger.GetInt64() == value.GetInt64()) {
                return true;
            }
        }
    } else if ((typeName == "number" || typeName == "double") && value.IsDouble()) {
        CSLogger::Log(2, ">>> DesiredDouble: %lf", value.GetDouble());
        for (const Value& trigger : triggers.GetArray()) {
            CSLogger::Log(2, ">>> ImpactDouble: %lf", trigger.GetDouble());
            if (trigger.GetDouble() == value.GetDouble()) {
                return true;
            }
        }
    } else if (typeName == "boolean" && value.IsBool()) {
        CSLogger::Log(2, ">>> DesiredBool: %d", value.GetBool() ? 1 : 0);
        for (const Value& trigger : triggers.GetArray()) {
            CSLogger::Log(2, ">>> ImpactBool: %d", trigger.GetBool() ? 1 : 0);
            if (trigger.GetBool() == value.GetBool()) {
                return true;
            }
        }
    } else if (typeName == "string" && value.IsString()) {
        CSLogger::Log(2, ">>> DesiredStr: %s", value.GetString());
        for (const Value& trigger : triggers.GetArray()) {
            CSLogger::Log(2, ">>> ImpactStr: %s", trigger.GetString());
            if (trigger == value) {
                return true;
            }
        }
    }
    return false;
}

void ImpactHandler::UpdatePluginMap(const ObjectId& id, const Value& value, const Schema& schema,
                                    ACTION action, const Value& drift) {
    const std::string idText = id.toString();
    std::vector<std::shared_ptr<Plugin>> plugins =
        PluginLookup::Find(impl->pluginManager, id, idText);
    if (plugins.empty()) {
        CSLogger::Log(3, "Plugin not present for %s", idText.c_str());
        return;
    }
    const std::shared_ptr<Plugin>& plugin = plugins.front();
    std::string pluginId = plugin->GetId();
    CSLogger::Log(3, "Found plugin=%s for cso=%s, version: %ld", pluginId.c_str(), idText.c_str(),
                  plugin->GetVersion());
    std::shared_ptr<TarnConfigStore::DriftObject> driftObject = DriftObjectOf(id, action, drift);
    std::shared_ptr<CachedDriftObject> cached;
    if (impl->cacheMode != kCacheUnused && Contains(impl->CachedKeysOf(*plugin), id)) {
        if (impl->cacheMode == kCacheWrite) {
            impl->CacheDrift(workDocument, id, action, driftObject);
        } else if (impl->cacheMode == kCacheRead) {
            cached = impl->CachedDrift(workDocument, id, driftObject);
        }
    }
    // A deleted object's value lies in the host document, which the walk drops at its end.
    auto object = impl->viewDesired && action != DELETE
                      ? TarnConfigStore::CreateObjectView(id, value, schema, std::nullopt)
                      : TarnConfigStore::CreateObject(id, value, schema, std::nullopt);
    DesiredConfigInput input{std::move(object), driftObject, kActionNames[action], cached};
    PluginMap& pluginMap = impl->pluginMap;
    auto entry = pluginMap.find(pluginId);
    if (entry == pluginMap.end()) {
        pluginMap.emplace(pluginId, TaskMap{plugin, {std::move(input)}});
    } else {
        entry->second.inputs.push_back(std::move(input));
    }
}

const std::vector<TarnConfigStore::ConfigStoreObjectId>& ImpactHandler::Impl::CachedKeysOf(
    const Plugin& plugin) {
    auto found = cachedKeys.find(&plugin);
    if (found == cachedKeys.end()) {
        found = cachedKeys.emplace(&plugin, plugin.GetImpactCacheDetails()).first;
    }
    return found->second;
}

void ImpactHandler::Impl::CacheDrift(rapidjson::Document& cache, const ObjectId& id, ACTION action,
                                     const std::shared_ptr<TarnConfigStore::DriftObject>& drift) {
    auto& allocator = cache.GetAllocator();
    // The entry is put together on the stack and copied into the cache: an object starts with
    // room for 16 members, the copy takes room for the one or two it has.
    char scratchBuffer[1024];
    rapidjson::MemoryPoolAllocator<> scratch(scratchBuffer, sizeof(scratchBuffer));
    Value entry(rapidjson::kObjectType);
    entry.AddMember("operation", rapidjson::StringRef(kActionNames[action]), scratch);
    if (drift) {
        entry.AddMember("drift", Value(drift->GetDriftData(), scratch), scratch);
    }
    std::string& key = cacheKey;  // CacheKeyOf(id), in a string reused for every object
    TarnConfigStore::JoinTextInto(key, CacheKeyPieces(id));
    cache.AddMember(Value(key, allocator), TarnConfigStore::CopyJsonValue(entry, allocator),
                    allocator);
    CSLogger::Log(2, "Caching drift info for %s", key.c_str());
}

std::shared_ptr<CachedDriftObject> ImpactHandler::Impl::CachedDrift(
    const rapidjson::Document& cache, const ObjectId& id,
    const std::shared_ptr<TarnConfigStore::DriftObject>& current) {
    if (!cacheIndexed) {
        // The first member of each name counts, as a lookup by name would find it.
        cacheIndex.reserve(cache.MemberCount());
        for (const auto& member : cache.GetObject()) {
            cacheIndex.emplace(
                std::string_view(member.name.GetString(), member.name.GetStringLength()),
                &member.value);
        }
        cacheIndexed = true;
    }
    std::string& key = cacheKey;  // CacheKeyOf(id), in a string reused for every object
    TarnConfigStore::JoinTextInto(key, CacheKeyPieces(id));
    auto found = cacheIndex.find(key);
    if (found == cacheIndex.end() || !found->second->IsObject()) {
        return nullptr;
    }
    CSLogger::Log(2, "Found cached drift info for %s", key.c_str());
    const Value& entry = *found->second;
    auto cached = std::make_shared<CachedDriftObject>();
    cached->operation = entry["operation"].GetString();
    auto drift = entry.FindMember("drift");
    if (drift != entry.MemberEnd()) {
        const char* text = drift->value.GetString();
        // Usually the drift has not changed since it was cached: text the same as the current
        // drift's compact text is valid and compact already, so it needs no parse and rewrite.
        if (current && current->GetDriftData() == text) {
            // Drift objects are immutable: one that says the same is shared.
            cached->drift = current->GetOperation() == cached->operation
                                ? current
                                : std::make_shared<TarnConfigStore::DriftObject>(
                                      id, cached->operation, current->GetDriftData());
        } else {
            cached->drift = TarnConfigStore::CreateDriftObject(id, cached->operation, text);
        }
    }
    return cached;
}

std::string ImpactHandler::CacheKeyOf(const ObjectId& id) {
    return TarnConfigStore::JoinText(CacheKeyPieces(id));
}

}  // namespace TarnConfigManager
