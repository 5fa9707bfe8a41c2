// Small readers shared by the extraction sources: row columns and the schema store handle.
// Private to src/extract; reentrant.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "deradidezivizoda/extract/extraction_types.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

// Column names of the rows, made once: a lookup by a literal would build the name each time.
inline const std::string kComponentColumn = "Component";
inline const std::string kGroupColumn = "ConfigGroup";
inline const std::string kNameColumn = "Name";
inline const std::string kIdentifierColumn = "Identifier";
inline const std::string kValueColumn = "Value";
inline const std::string kAutoConfValueColumn = "AutoConfValue";

// The row's column, "" when the row lacks it.
const std::string& Column(const TarnConfigStore::ConfigRow& row, const std::string& name);

// The key of a row as a schema id.
TarnSchemaStore::SchemaObjectId RowKey(const TarnConfigStore::ConfigRow& row);

// The columns of one row, whichever way it was read, valid as long as the row is. Each text
// is followed by a NUL (a std::string's, or a text of the store as visited).
using RowNames = TarnConfigStore::StoreRowView;

RowNames NamesOf(const TarnConfigStore::ConfigRow& row);

// Logs "Configuration for {component/group/key/identifier} <what>" at priority.
void LogRow(int priority, const RowNames& row, const char* what);

// A plain record as a row map, for the interfaces that take row maps; row is moved from.
std::shared_ptr<TarnConfigStore::ConfigRow> RowMapOf(TarnConfigStore::StoreRow&& row);

// store itself; ConfigManagerException SCHEMA_STORE_ERROR (2180) when it is empty.
std::shared_ptr<TarnSchemaStore::SchemaStore> RequireSchemaStore(
    std::shared_ptr<TarnSchemaStore::SchemaStore> store);

// The key's schema; SchemaNotFound (2021) with the key's text when it has none.
std::shared_ptr<TarnSchemaStore::SchemaObject> RequireSchema(
    const TarnSchemaStore::SchemaObjectId& id,
    const std::shared_ptr<TarnSchemaStore::SchemaStore>& store);

// Whether identifier names an instance a solution created (the schema's reserved ids of a
// multi-instance key not identified by content).
bool IsReservedInstance(const TarnSchemaStore::SchemaObject& schema, std::string_view identifier);

// The schema a key's values are checked against: a definition's "items" when it has them.
const rapidjson::Value& AutoConfigSchema(const rapidjson::Value& definition);

}  // namespace TarnConfigManager
