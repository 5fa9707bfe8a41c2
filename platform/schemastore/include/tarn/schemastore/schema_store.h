// SchemaStore: the handle through which callers reach the key schemas of the schema folder
// (one JSON file per key, see docs/schemas.md). GetStore() reloads the folder only when a file
// in it changed, so callers take a handle at the start of every operation. A handle is an
// immutable snapshot shared through std::shared_ptr; every function here is thread-safe.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>

#include "tarn/export.h"
#include "tarn/schemastore/schema_cache.h"
#include "tarn/schemastore/schema_object.h"
#include "tarn/schemastore/schema_object_id.h"

TARN_PUBLIC_BEGIN

namespace TarnSchemaStore {

class SchemaStore {
public:
    // The store of the current contents of the schema folder; an empty handle when the
    // folder cannot be listed. Unchanged folder contents give the same handle again.
    static std::shared_ptr<SchemaStore> GetStore();
    // The cache of all schemas of GetStore(); an empty cache when the folder is unavailable.
    static std::shared_ptr<const SchemaCache> GetCache();

    explicit SchemaStore(std::shared_ptr<const SchemaCache> cache);

    const std::shared_ptr<const SchemaCache>& GetSchemaCache() const { return cache_; }

    // The key's schema, or an empty pointer when it has none.
    std::shared_ptr<SchemaObject> GetSchema(const SchemaObjectId& id) const;
    std::shared_ptr<SchemaObject> GetSchema(const std::string& component, const std::string& group,
                                            const std::string& key) const;
    // SchemaObject::GetSchemaText() of the key; empty when it has no schema.
    std::string GetSchemaText(const std::string& component, const std::string& group,
                              const std::string& key) const;

    // Keys that desired-state management leaves alone ("integrated": false).
    std::unordered_set<SchemaObjectId> GetNotIntegratedKeys() const;
    // Keys with a mutable default configuration: those of the SmartNIC configuration when
    // smartnic is set, the host's own keys otherwise.
    std::unordered_set<SchemaObjectId> GetMutableDefaultKeys(bool smartnic) const;

private:
    std::shared_ptr<const SchemaCache> cache_;
};

// The key's schema in store, or an empty pointer when the key has none or store is empty.
std::shared_ptr<SchemaObject> GetSchema(const std::string& component, const std::string& group,
                                        const std::string& key,
                                        const std::shared_ptr<SchemaStore>& store);
std::shared_ptr<SchemaObject> GetSchema(const SchemaObjectId& id,
                                        const std::shared_ptr<SchemaStore>& store);

}  // namespace TarnSchemaStore

TARN_PUBLIC_END
