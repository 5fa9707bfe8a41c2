#include "tarn/configstore/config_store.h"

#include <sqlite3.h>

#include "sqlite_statement.h"
#include "store_json.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/fault_point.h"
#include "tarn/json/json_doc.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigStore {

namespace {

const char kObjectKeyFilter[] =
    " WHERE namespace = ?1 AND component = ?2 AND config_group = ?3 AND name = ?4"
    " AND identifier = ?5";

Statement& BindObjectKey(Statement& statement, const std::string& space,
                         const ConfigStoreObjectId& id) {
    return statement.Bind(1, space)
        .Bind(2, id.GetComponent())
        .Bind(3, id.GetGroup())
        .Bind(4, id.GetKey())
        .Bind(5, id.GetInstanceId());
}

std::string AttributesText(const ConfigStoreObject& object) {
    rapidjson::Document attributes(rapidjson::kObjectType);
    auto& allocator = attributes.GetAllocator();
    for (const auto& attribute : object.GetAttributes()) {
        attributes.AddMember(rapidjson::Value(attribute.first, allocator),
                             rapidjson::Value(attribute.second, allocator), allocator);
    }
    return WriteJsonText(attributes);
}

void ReadAttributes(const std::string& text, ConfigStoreObject& object) {
    std::string what =
        "the attributes of stored object " + object.GetConfigStoreObjectId().toString();
    rapidjson::Document attributes;
    ParseStoreJson(text, attributes, what);
    if (!attributes.IsObject()) {
        ThrowDataError("Invalid " + what + ": not an object");
    }
    for (const auto& attribute : attributes.GetObject()) {
        if (!attribute.value.IsString()) {
            ThrowDataError("Invalid " + what + ": attribute values must be strings");
        }
        object.SetValue(
            attribute.name.GetString(),
            std::string_view(attribute.value.GetString(), attribute.value.GetStringLength()));
    }
}

}  // namespace

std::shared_ptr<ConfigStore> ConfigStore::GetStore(const std::string& name) {
    if (name.empty()) {
        CSLogger::Log(CSLogger::kError, "Configuration store namespace name is empty");
        return nullptr;
    }
    try {
        return std::make_shared<ConfigStore>(GetDBStore(DBStore::CONFIG_STORE, true), name);
    } catch (const ConfigStoreException& error) {
        CSLogger::Log(CSLogger::kError, "Cannot open configuration store namespace %s: %s",
                      name.c_str(), error.what());
        return nullptr;
    }
}

ConfigStore::ConfigStore(std::shared_ptr<DBStore::StoreConnection> connection, std::string name)
    : connection_(std::move(connection)), name_(std::move(name)) {}

void ConfigStore::WriteObject(const std::shared_ptr<ConfigStoreObject>& object) {
    if (!object) {
        ThrowDataError("Cannot write an empty object pointer to namespace " + name_);
    }
    Statement statement(*connection_,
                        "INSERT OR REPLACE INTO store_objects (namespace, component,"
                        " config_group, name, identifier, value, attributes)"
                        " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    BindObjectKey(statement, name_, object->GetConfigStoreObjectId())
        .Bind(6, object->GetSerializedData())
        .Bind(7, AttributesText(*object))
        .Run();
    FaultPoint();
}

std::shared_ptr<ConfigStoreObject> ConfigStore::GetObject(const ConfigStoreObjectId& id) {
    std::string sql = std::string("SELECT value, attributes FROM store_objects") + kObjectKeyFilter;
    Statement statement(*connection_, sql.c_str());
    if (!BindObjectKey(statement, name_, id).Step()) {
        return nullptr;
    }
    auto object = std::make_shared<ConfigStoreObject>(id);
    std::string value = statement.Text(0);
    if (!value.empty()) {
        ParseStoreJson(value, object->GetJsonDoc()->GetDocument(), "stored object ", id);
    }
    ReadAttributes(statement.Text(1), *object);
    return object;
}

bool ConfigStore::RemoveObject(const ConfigStoreObjectId& id) {
    std::string sql = std::string("DELETE FROM store_objects") + kObjectKeyFilter;
    Statement statement(*connection_, sql.c_str());
    FaultPoint();
    BindObjectKey(statement, name_, id).Run();
    FaultPoint();
    return sqlite3_changes(connection_->GetHandle()) > 0;
}

ConfigStoreTransaction::ConfigStoreTransaction(const std::shared_ptr<ConfigStore>& store)
    : owner_(store ? store->GetConnection() : nullptr), connection_(RequireConnection(owner_)) {
    connection_.BeginTransaction();
}

ConfigStoreTransaction::ConfigStoreTransaction(std::shared_ptr<DBStore::StoreConnection> connection)
    : owner_(std::move(connection)), connection_(RequireConnection(owner_)) {
    connection_.BeginTransaction();
}

ConfigStoreTransaction::ConfigStoreTransaction(DBStore::StoreConnection& connection)
    : connection_(connection) {
    connection_.BeginTransaction();
}

ConfigStoreTransaction::~ConfigStoreTransaction() {
    if (!open_) {
        return;
    }
    try {
        connection_.RollbackTransaction();
    } catch (const ConfigStoreException& error) {
        CSLogger::Log(CSLogger::kError, "%s", error.what());
    }
}

void ConfigStoreTransaction::Commit() {
    if (!open_) {
        ThrowDataError("Configuration store: the transaction was already committed");
    }
    FaultPoint();
    connection_.CommitTransaction();
    open_ = false;
    FaultPoint();
}

}  // namespace TarnConfigStore
