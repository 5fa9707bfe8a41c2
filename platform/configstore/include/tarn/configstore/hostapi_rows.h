// The store operations of the single-key configuration API: reading one key's default and
// current objects, storing one desired object for the next boot, and removing the desired
// configuration of one key. Rows are those of store_rows.h; the calls use the connection given.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/db_store.h"
#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

using ConfigObjectList = std::vector<std::shared_ptr<ConfigStoreObject>>;

// The key's default objects, in store order: the one object of a single-instance key (at most
// one), or every instance. Rows marking a deleted default instance are left out.
ConfigObjectList GetDefaultUserConfigInternal(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection,
    const ObjectSchemaFacts& schema);
ConfigObjectList GetDefaultUserConfigInstancesInternal(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection,
    const ObjectSchemaFacts& schema);
// The same for the key's current objects.
ConfigObjectList GetCurrentConfigInternal(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection,
    const ObjectSchemaFacts& schema);
ConfigObjectList GetCurrentConfigInstancesInternal(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection,
    const ObjectSchemaFacts& schema);

// Stores value (one singleton value or one instance) as a desired row of the key, replacing
// the row of the same instance. The instance id is the value's schema.instanceKey member, or
// for content-identified instances its "cs_generated_id", else a fresh one. The boot mode is
// left as it is. ConfigStoreException 2000 for a value that is not an object.
void ProcessDesiredObject(rapidjson::MemoryPoolAllocator<>& allocator,
                          const std::shared_ptr<DBStore::StoreConnection>& connection,
                          const std::string& schemaText, const std::string& component,
                          const std::string& group, const std::string& key,
                          const ObjectSchemaFacts& schema, const rapidjson::Value& value);

// Removes every desired row of the key (the calling thread's connection); returns how many.
int DeleteHostAPIConfiguration(const std::string& component, const std::string& group,
                               const std::string& key);

}  // namespace TarnConfigStore

TARN_PUBLIC_END
