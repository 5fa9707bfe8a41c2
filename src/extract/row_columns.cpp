#include "row_columns.h"

#include <algorithm>
#include <iterator>

#include "deradidezivizoda/core/throw_exception.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

const std::string& Column(const TarnConfigStore::ConfigRow& row, const std::string& name) {
    static const std::string kEmpty;
    auto found = row.find(name);
    return found == row.end() ? kEmpty : found->second;
}

TarnSchemaStore::SchemaObjectId RowKey(const TarnConfigStore::ConfigRow& row) {
    return TarnSchemaStore::SchemaObjectId(Column(row, kComponentColumn), Column(row, kGroupColumn),
                                           Column(row, kNameColumn));
}

RowNames NamesOf(const TarnConfigStore::ConfigRow& row) {
    return RowNames{Column(row, kComponentColumn), Column(row, kGroupColumn),
                    Column(row, kNameColumn),      Column(row, kIdentifierColumn),
                    Column(row, kValueColumn),     Column(row, kAutoConfValueColumn)};
}

void LogRow(int priority, const RowNames& row, const char* what) {
    // %s rather than %.*s: the logger formats plain conversions itself, the others through
    // printf, which costs more per line than the rest of a row's conversion.
    CSLogger::Log(priority, "Configuration for {%s/%s/%s/%s} %s", row.component.data(),
                  row.group.data(), row.key.data(), row.identifier.data(), what);
}

std::shared_ptr<TarnConfigStore::ConfigRow> RowMapOf(TarnConfigStore::StoreRow&& row) {
    auto map = std::make_shared<TarnConfigStore::ConfigRow>();
    std::pair<const std::string*, std::string*> columns[] = {
        {&kComponentColumn, &row.component},
        {&kGroupColumn, &row.group},
        {&kNameColumn, &row.key},
        {&kIdentifierColumn, &row.identifier},
        {&kValueColumn, &row.value},
        {&kAutoConfValueColumn, &row.autoConfValue}};
    map->reserve(std::size(columns));
    for (auto& [name, text] : columns) {
        map->try_emplace(*name, std::move(*text));
    }
    return map;
}

std::shared_ptr<TarnSchemaStore::SchemaStore> RequireSchemaStore(
    std::shared_ptr<TarnSchemaStore::SchemaStore> store) {
    if (!store) {
        ThrowException<ConfigManagerException>(SCHEMA_STORE_ERROR);
    }
    return store;
}

std::shared_ptr<TarnSchemaStore::SchemaObject> RequireSchema(
    const TarnSchemaStore::SchemaObjectId& id,
    const std::shared_ptr<TarnSchemaStore::SchemaStore>& store) {
    std::shared_ptr<TarnSchemaStore::SchemaObject> schema = store->GetSchema(id);
    if (!schema) {
        ThrowException<SchemaNotFound>(SCHEMA_NOT_FOUND, id.toString());
    }
    return schema;
}

bool IsReservedInstance(const TarnSchemaStore::SchemaObject& schema, std::string_view identifier) {
    if (!schema.IsMultiInstance() ||
        schema.GetInstanceKey() == TarnSchemaStore::kGeneratedInstanceKey) {
        return false;
    }
    const std::vector<std::string>& reserved = schema.GetReservedInstanceIds();
    return std::find(reserved.begin(), reserved.end(), identifier) != reserved.end();
}

const rapidjson::Value& AutoConfigSchema(const rapidjson::Value& definition) {
    if (definition.IsObject() && definition.HasMember("items")) {
        return definition["items"];
    }
    return definition;
}

}  // namespace TarnConfigManager
