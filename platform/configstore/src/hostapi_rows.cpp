#include "tarn/configstore/hostapi_rows.h"

#include "store_json.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"

namespace TarnConfigStore {

namespace {

ConfigObjectList ObjectsOf(const ConfigRowList& rows, const ObjectSchemaFacts& schema,
                           std::size_t limit) {
    ConfigObjectList objects;
    for (const std::shared_ptr<ConfigRow>& row : rows) {
        if (objects.size() >= limit) {
            break;
        }
        const std::string& value = row->at("Value");
        if (value == kDeleteDefaultValue) {
            continue;
        }
        rapidjson::Document parsed;
        if (!ParseJsonText(value, parsed)) {
            ThrowDataError("The stored value of " + row->at("Name") + " is not valid JSON");
        }
        ConfigStoreObjectId id(row->at("Name"), row->at("ConfigGroup"), row->at("Component"),
                               row->at("Identifier"));
        objects.push_back(CreateObject(id, parsed, schema, objects.size()));
    }
    return objects;
}

ConfigObjectList KeyObjects(RowTable table, const ConfigStoreObjectId& id,
                            const std::shared_ptr<DBStore::StoreConnection>& connection,
                            const ObjectSchemaFacts& schema, std::size_t limit) {
    ConfigStoreObjectId keyId(id.GetKey(), id.GetGroup(), id.GetComponent(), "");
    return ObjectsOf(ReadKeyRows(connection, table, keyId), schema, limit);
}

constexpr std::size_t kAll = static_cast<std::size_t>(-1);

std::string DesiredInstanceId(const rapidjson::Value& value, const ObjectSchemaFacts& schema) {
    if (schema.instanceKey.empty()) {
        return std::string();
    }
    std::string member(schema.instanceKey);
    if (value.HasMember(member.c_str()) && value[member.c_str()].IsString()) {
        return value[member.c_str()].GetString();
    }
    if (value.HasMember("cs_generated_id") && value["cs_generated_id"].IsString()) {
        return value["cs_generated_id"].GetString();
    }
    return GenerateInstanceId();
}

}  // namespace

ConfigObjectList GetDefaultUserConfigInternal(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection,
    const ObjectSchemaFacts& schema) {
    return KeyObjects(RowTable::kDefault, id, connection, schema, 1);
}

ConfigObjectList GetDefaultUserConfigInstancesInternal(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection,
    const ObjectSchemaFacts& schema) {
    return KeyObjects(RowTable::kDefault, id, connection, schema, kAll);
}

ConfigObjectList GetCurrentConfigInternal(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection,
    const ObjectSchemaFacts& schema) {
    return KeyObjects(RowTable::kCurrent, id, connection, schema, 1);
}

ConfigObjectList GetCurrentConfigInstancesInternal(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection,
    const ObjectSchemaFacts& schema) {
    return KeyObjects(RowTable::kCurrent, id, connection, schema, kAll);
}

void ProcessDesiredObject(rapidjson::MemoryPoolAllocator<>& /*allocator*/,
                          const std::shared_ptr<DBStore::StoreConnection>& connection,
                          const std::string& /*schemaText*/, const std::string& component,
                          const std::string& group, const std::string& key,
                          const ObjectSchemaFacts& schema, const rapidjson::Value& value) {
    if (!value.IsObject()) {
        ThrowDataError("The desired value of " + component + "." + group + "." + key +
                       " is not an object");
    }
    std::string text;
    WriteJsonText(value, text);
    PutRow(connection, RowTable::kDesired,
           StoreRow{component, group, key, DesiredInstanceId(value, schema), text, ""});
}

int DeleteHostAPIConfiguration(const std::string& component, const std::string& group,
                               const std::string& key) {
    return DeleteRows(GetDBStore(DBStore::CONFIG_STORE, true), RowTable::kDesired,
                      ConfigStoreObjectId(key, group, component, ""));
}

}  // namespace TarnConfigStore
