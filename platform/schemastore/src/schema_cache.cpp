#include "tarn/schemastore/schema_cache.h"

#include <utility>

namespace TarnSchemaStore {

SchemaCache::SchemaCache(SchemaMap schemas, std::vector<SchemaLoadError> errors)
    : schemas_(std::move(schemas)), errors_(std::move(errors)) {}

std::shared_ptr<SchemaObject> SchemaCache::Find(const SchemaObjectId& id) const {
    auto found = schemas_.find(id);
    return found == schemas_.end() ? nullptr : found->second;
}

}  // namespace TarnSchemaStore
