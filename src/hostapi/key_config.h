// The single-key configuration API's own helpers: finding the key's schema, reading its
// current configuration (from the store or its extract plugin), turning objects into the
// key's text, and building the documents the chain passes on. Private to the subsystem.
#pragma once

#include <memory>
#include <string>

#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/db_store.h"
#include "tarn/configstore/hostapi_rows.h"
#include "tarn/json/json.h"
#include "tarn/schemastore/schema_object.h"

namespace TarnConfigManager {

using KeySchema = std::shared_ptr<TarnSchemaStore::SchemaObject>;
using StoreConnection = std::shared_ptr<DBStore::StoreConnection>;

// The feature switch that makes GetCurrentConfig ask the key's extract plugin instead of the
// store (docs/host-root.md).
inline constexpr const char kHostApiExtractFeature[] = "Tarn_HostApiExtractCurrentConfig";

// SCHEMA_STORE_ERROR (2180) without a schema store; SCHEMA_NOT_FOUND (2021) for an unknown key.
KeySchema CheckSchemaExists(const std::string& component, const std::string& group,
                            const std::string& key);

// A store connection; DB_CONNECT_ERROR (2001) when none can be had.
StoreConnection ConnectStore();

// The key's current configuration as text ("" when it has none).
std::string GetCurrentConfig(const std::string& component, const std::string& group,
                             const std::string& key, const KeySchema& schema,
                             const StoreConnection& connection, bool display);

// The key's text of objects: the cleaned singleton value, or the array of cleaned instances
// (instances the schema reserves left out); "" when empty. display chooses the cleanup for
// people (generated ids dropped, secrets masked) over the one for documents (defaults dropped).
std::string BuildConfigText(const KeySchema& schema,
                            const TarnConfigStore::ConfigObjectList& objects, bool display);

// Copies value under document[component][group][key]; array elements accumulate. Nothing for
// an empty value.
void BuildKeyDocument(rapidjson::Document& document, const std::string& component,
                      const std::string& group, const std::string& key,
                      const rapidjson::Value& value);

// HOST_IN_DBM (2029) when a key the key's apply plugins cover has a stored desired object;
// otherwise adds the current configuration of every other key the validation plugins cover or
// reference to relevant.
void CheckDependentsInDesired(const TarnConfigStore::ConfigStoreObjectId& id,
                              const StoreConnection& connection, rapidjson::Document& relevant);

}  // namespace TarnConfigManager
