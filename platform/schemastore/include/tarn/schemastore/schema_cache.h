// SchemaCache: one loaded generation of the schema folder, every key's SchemaObject plus the
// files that could not be loaded. Immutable after construction and shared through
// std::shared_ptr, so any thread may read it while newer generations replace it.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tarn/export.h"
#include "tarn/schemastore/schema_object.h"
#include "tarn/schemastore/schema_object_id.h"

TARN_PUBLIC_BEGIN

namespace TarnSchemaStore {

// A schema file that was skipped, and why.
struct SchemaLoadError {
    std::string path;
    std::string message;
};

class SchemaCache {
public:
    using SchemaMap = std::unordered_map<SchemaObjectId, std::shared_ptr<SchemaObject>>;

    SchemaCache() = default;
    SchemaCache(SchemaMap schemas, std::vector<SchemaLoadError> errors);

    // The key's schema, or an empty pointer when it has none.
    std::shared_ptr<SchemaObject> Find(const SchemaObjectId& id) const;
    const SchemaMap& GetSchemas() const { return schemas_; }
    const std::vector<SchemaLoadError>& GetLoadErrors() const { return errors_; }

private:
    SchemaMap schemas_;
    std::vector<SchemaLoadError> errors_;
};

}  // namespace TarnSchemaStore

TARN_PUBLIC_END
