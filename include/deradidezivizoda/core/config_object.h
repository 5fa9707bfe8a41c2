// Questions about one configuration object and its key's schema: the instance id a value
// carries, and whether a stored object conforms to its key's schema. Reentrant.
#pragma once

#include <memory>
#include <string>

#include "deradidezivizoda/export.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/schemastore/schema_object.h"

namespace TarnConfigManager {

// "" for a single-instance key; else the string member named by the schema's instance key.
// ConfigManagerException INVALID_KEY_VALUE (2084) with the key name when it is not a string.
TARN_EXPORT std::string GetInstanceIdFromValue(
    const rapidjson::Value& value, const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema);
// Validates the object's value against the key's definition; logs every error at priority 0.
TARN_EXPORT bool IsValidCSO(const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema,
                            const std::shared_ptr<TarnConfigStore::ConfigStoreObject>& object);

}  // namespace TarnConfigManager
