// The configuration objects of a document that a plugin is given: one per key value, one per
// instance of a multi-instance key. Private to the library; reentrant.
#pragma once

#include <memory>
#include <vector>

#include "tarn/configstore/config_store_object.h"
#include "tarn/schemastore/schema_cache.h"

namespace TarnConfigManager {

// Appends to objects, for each id in order, the objects of value[component][group][key]: one
// per element of an array (index = position, instance id = the element's instance key
// property when the key's schema names one and it is a string), none for "DELETE_DEFAULT",
// otherwise one for the value. An id whose component, group or key is absent (or a level that
// is not an object) contributes nothing.
void CollectConfigObjects(std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& objects,
                          const rapidjson::Value& value,
                          const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids,
                          const std::shared_ptr<const TarnSchemaStore::SchemaCache>& cache);

}  // namespace TarnConfigManager
