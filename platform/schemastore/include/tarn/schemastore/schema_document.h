// GenerateSchemaDocument: composes the JSON schema (draft-04) of a configuration document
// (component -> group -> key) from the key schemas of a SchemaCache. The caller owns both
// output documents; the cache is only read. Reentrant; any thread, one call per document pair.
// The schema's layout and the error objects are described in docs/schemas.md.
#pragma once

#include <memory>

#include "tarn/export.h"
#include "tarn/json/json.h"
#include "tarn/schemastore/schema_cache.h"

TARN_PUBLIC_BEGIN

namespace TarnSchemaStore {

// Adds to schema the schema of every component, group and key of value, and appends to
// errors (an array afterwards, possibly empty) one {"field", "errId", "errArgs"} object per
// problem: a level that is not an object (JsonValidator::kTypeMismatch) or a key without a
// schema in cache (JsonValidator::kSchemaNotFound). Several calls with the same two documents
// accumulate; a key already in schema is left as it is. An empty cache knows no key.
void GenerateSchemaDocument(const rapidjson::Value& value,
                            const std::shared_ptr<const SchemaCache>& cache,
                            rapidjson::Document& schema, rapidjson::Document& errors);

}  // namespace TarnSchemaStore

TARN_PUBLIC_END
