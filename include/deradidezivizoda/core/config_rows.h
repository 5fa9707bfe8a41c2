// Turning configuration store rows into documents, and hiding the instances a solution owns
// from what users see. Rows are the store's: one map per row with the columns "Component",
// "ConfigGroup", "Name", "Identifier", "Value" and "AutoConfValue". Reentrant.
#pragma once

#include <memory>

#include "deradidezivizoda/export.h"
#include "tarn/configstore/db_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/schemastore/schema_object.h"

namespace TarnConfigManager {

using ConfigRowList = TarnConfigStore::ConfigRowList;

// One row without an "Identifier" becomes that row's value; any other row list becomes an
// array of the row values in order (no rows: an empty array). PARSE_ERROR for a bad "Value".
TARN_EXPORT rapidjson::Document CreateDocumentFromMap(const ConfigRowList& rows);
// Removes the rows of the schema's reserved instance ids (keyed multi-instance keys only).
TARN_EXPORT void FilterSolutionUserInstances(ConfigRowList& rows,
                                             std::shared_ptr<TarnSchemaStore::SchemaObject> schema);
// The key's default rows without the reserved instances.
TARN_EXPORT ConfigRowList
GetExternalDefaultUserConfig(const TarnConfigStore::ConfigStoreObjectId& id,
                             const std::shared_ptr<DBStore::StoreConnection>& connection,
                             std::shared_ptr<TarnSchemaStore::SchemaObject> schema);

}  // namespace TarnConfigManager
