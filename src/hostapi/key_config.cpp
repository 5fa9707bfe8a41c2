#include "key_config.h"

#include <algorithm>

#include "deradidezivizoda/core/config_object.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/plugins/plugin_manager.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/json_copy.h"
#include "tarn/json/json_doc.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/pluginsupport/extract_plugin_result.h"
#include "tarn/sablectl/feature_state.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

namespace {

using ObjectId = TarnConfigStore::ConfigStoreObjectId;
using TarnConfigStore::ConfigObjectList;

TarnConfigStore::ObjectSchemaFacts FactsOf(const KeySchema& schema) {
    return TarnConfigStore::ObjectSchemaFacts{schema->GetSchemaText(), schema->GetInstanceKey()};
}

ConfigObjectList StoredCurrentObjects(const ObjectId& id, const KeySchema& schema,
                                      const StoreConnection& connection) {
    return schema->IsMultiInstance()
               ? TarnConfigStore::GetCurrentConfigInstancesInternal(id, connection, FactsOf(schema))
               : TarnConfigStore::GetCurrentConfigInternal(id, connection, FactsOf(schema));
}

ConfigObjectList ExtractedObjects(const std::shared_ptr<Plugin>& plugin, const ObjectId& id,
                                  const KeySchema& schema) {
    const std::string pluginId = plugin->GetId();
    ExtractPluginResult result = plugin->Extract({id}, "", PluginMonitor::Dummy());
    if (!result.error.id.empty()) {
        ThrowException<ConfigManagerException>(EXTRACT_FAILED, pluginId);
    }
    if (result.configs.empty()) {
        CSLogger::Log(2, "Plugin %s resulted in empty csoList", pluginId.c_str());
    }
    ConfigObjectList kept;
    for (const auto& object : result.configs) {
        const ObjectId& objectId = object->GetConfigStoreObjectId();
        if (objectId.GetComponent() != id.GetComponent() || objectId.GetGroup() != id.GetGroup() ||
            objectId.GetKey() != id.GetKey()) {
            continue;
        }
        if (!IsValidCSO(schema, object)) {
            CSLogger::Log(0, "Found an invalid CSO: {%s}", object->GetSerializedData().c_str());
            ThrowException<ConfigManagerException>(EXTRACT_INVALID_CONFIG, pluginId);
        }
        kept.push_back(object);
    }
    return kept;
}

void CleanValue(rapidjson::Value& value, const KeySchema& schema, bool display,
                rapidjson::MemoryPoolAllocator<>& allocator) {
    using namespace ConfigStoreDocument;
    static const std::vector<CLEANUP_ACTIONS> kDisplay = {DROP_GENERATED_IDS, MASK_SENSITIVE_VALUES,
                                                          DROP_UNDECLARED_MEMBERS};
    static const std::vector<CLEANUP_ACTIONS> kDocument = {DROP_UNDECLARED_MEMBERS,
                                                           DROP_DEFAULT_VALUES};
    CleanupObject(value, schema->GetDefinition(), display ? kDisplay : kDocument, allocator);
}

std::vector<std::string> HiddenInstanceIds(const KeySchema& schema) {
    if (schema->GetInstanceKey() == TarnSchemaStore::kGeneratedInstanceKey) {
        return {};
    }
    return schema->GetReservedInstanceIds();
}

void ParseConfigText(const std::string& text, rapidjson::Document& out) {
    if (text.empty()) {
        return;
    }
    if (!TarnConfigStore::ParseJsonText(text, out)) {
        ThrowException<ConfigManagerException>(PARSE_ERROR);
    }
}

}  // namespace

KeySchema CheckSchemaExists(const std::string& component, const std::string& group,
                            const std::string& key) {
    CSLogger::Log(2, "Running CheckSchemaExists in HostAPI");
    std::shared_ptr<TarnSchemaStore::SchemaStore> store = TarnSchemaStore::SchemaStore::GetStore();
    if (!store) {
        ThrowException<ConfigManagerException>(SCHEMA_STORE_ERROR);
    }
    TarnSchemaStore::SchemaObjectId id(component, group, key);
    KeySchema schema = TarnSchemaStore::GetSchema(id, store);
    if (!schema) {
        ThrowException<InvalidArgumentException>(SCHEMA_NOT_FOUND, id.toString());
    }
    return schema;
}

StoreConnection ConnectStore() {
    StoreConnection connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    if (!connection) {
        ThrowException<ConfigManagerException>(DB_CONNECT_ERROR);
    }
    return connection;
}

std::string GetCurrentConfig(const std::string& component, const std::string& group,
                             const std::string& key, const KeySchema& schema,
                             const StoreConnection& connection, bool display) {
    CSLogger::Log(2, "Running GetCurrentConfig in HostAPI");
    ObjectId id(key, group, component);
    FeatureState_InitSilentMode();
    if (!FeatureState_IsEnabled(kHostApiExtractFeature)) {
        return BuildConfigText(schema, StoredCurrentObjects(id, schema, connection), display);
    }
    PluginManager plugins(EXTRACT);
    const std::string idText = id.toString();
    std::vector<std::shared_ptr<Plugin>> found = plugins.Find(id);
    if (found.empty()) {
        CSLogger::Log(3, "No extract plugins found for %s", idText.c_str());
        return BuildConfigText(schema, StoredCurrentObjects(id, schema, connection), display);
    }
    if (found.size() > 1) {
        ThrowException<ConfigManagerException>(EXTRACT_MULTIPLE_PLUGINS, idText);
    }
    return BuildConfigText(schema, ExtractedObjects(found.front(), id, schema), display);
}

std::string BuildConfigText(const KeySchema& schema, const ConfigObjectList& objects,
                            bool display) {
    rapidjson::Document result;
    if (!schema->IsMultiInstance()) {
        if (!objects.empty()) {
            result.CopyFrom(*objects.front()->GetJsonDoc()->GetJsonValuePtr(),
                            result.GetAllocator());
            CleanValue(result, schema, display, result.GetAllocator());
        }
    } else {
        result.SetArray();
        const std::vector<std::string> hidden = HiddenInstanceIds(schema);
        for (const auto& object : objects) {
            const rapidjson::Value& value = *object->GetJsonDoc()->GetJsonValuePtr();
            std::string instanceId = GetInstanceIdFromValue(value, schema);
            if (std::find(hidden.begin(), hidden.end(), instanceId) != hidden.end()) {
                continue;
            }
            rapidjson::Value copy = TarnConfigStore::CopyJsonValue(value, result.GetAllocator());
            CleanValue(copy, schema, display, result.GetAllocator());
            if (copy.IsObject() && copy.MemberCount() > 0) {
                result.PushBack(copy, result.GetAllocator());
            }
        }
    }
    if (ConfigStoreDocument::IsDocumentEmpty(result)) {
        return std::string();
    }
    std::string text;
    ConfigStoreDocument::SerializeValue(result, text);
    return text;
}

void BuildKeyDocument(rapidjson::Document& document, const std::string& component,
                      const std::string& group, const std::string& key,
                      const rapidjson::Value& value) {
    if (ConfigStoreDocument::IsDocumentEmpty(value)) {
        return;
    }
    auto& allocator = document.GetAllocator();
    rapidjson::Value& groupValue =
        ConfigStoreDocument::AddGroup(document, component, group, allocator);
    if (!value.IsArray()) {
        if (groupValue.HasMember(key.c_str())) {
            groupValue[key.c_str()] = TarnConfigStore::CopyJsonValue(value, allocator);
        } else {
            ConfigStoreDocument::AddMember(groupValue, key, value, allocator);
        }
        return;
    }
    if (!groupValue.HasMember(key.c_str()) || !groupValue[key.c_str()].IsArray()) {
        rapidjson::Value empty(rapidjson::kArrayType);
        if (groupValue.HasMember(key.c_str())) {
            groupValue[key.c_str()] = empty;
        } else {
            ConfigStoreDocument::AddMember(groupValue, key, empty, allocator);
        }
    }
    rapidjson::Value& instances = groupValue[key.c_str()];
    for (const rapidjson::Value& element : value.GetArray()) {
        instances.PushBack(TarnConfigStore::CopyJsonValue(element, allocator), allocator);
    }
}

void CheckDependentsInDesired(const ObjectId& id, const StoreConnection& connection,
                              rapidjson::Document& relevant) {
    std::vector<ObjectId> related;
    PluginManager validators(VALIDATE);
    for (const auto& plugin : validators.Find(id)) {
        for (const ObjectId& each : plugin->GetCSOIdList()) {
            related.push_back(each);
        }
        for (const ObjectId& each : plugin->GetReferences()) {
            related.push_back(each);
        }
    }
    CSLogger::Log(3, "Running: %s", "CheckDependentsInDesired");
    PluginManager appliers(APPLY);
    for (const auto& plugin : appliers.Find(id)) {
        for (const ObjectId& dependent : plugin->GetCSOIdList()) {
            std::string text = dependent.toString();
            CSLogger::Log(3, "csoId: %s", text.c_str());
            if (TarnConfigStore::CheckDesiredObjectExists(dependent, connection)) {
                CSLogger::Log(0,
                              "A dependent config with csoId{%s} already exist in desired table. "
                              "The host need to reboot first.",
                              text.c_str());
                ThrowException<HostInDBM>(HOST_IN_DBM);
            }
        }
    }
    std::vector<ObjectId> added;
    for (const ObjectId& each : related) {
        ObjectId keyId(each.GetKey(), each.GetGroup(), each.GetComponent());
        if (keyId == ObjectId(id.GetKey(), id.GetGroup(), id.GetComponent()) ||
            std::find(added.begin(), added.end(), keyId) != added.end()) {
            continue;
        }
        added.push_back(keyId);
        KeySchema schema =
            CheckSchemaExists(keyId.GetComponent(), keyId.GetGroup(), keyId.GetKey());
        rapidjson::Document current;
        ParseConfigText(GetCurrentConfig(keyId.GetComponent(), keyId.GetGroup(), keyId.GetKey(),
                                         schema, connection, false),
                        current);
        BuildKeyDocument(relevant, keyId.GetComponent(), keyId.GetGroup(), keyId.GetKey(), current);
    }
}

}  // namespace TarnConfigManager
