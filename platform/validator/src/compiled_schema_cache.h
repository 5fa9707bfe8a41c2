// The compiled form of schemas validated before, so that validating against an equal schema
// again skips compilation (which costs more than checking a document of similar size).
// Entries are keyed by the schema's compact text (hash, then full comparison) and own a parsed
// copy of that text, so nothing points into callers' documents. At most kMaxCachedSchemas
// entries and kMaxCachedSchemaBytes of text, least recently used out; an entry takes about
// 17 times its text in memory (the copy and the compiled nodes). Thread-safe.
#pragma once

#include <cstddef>
#include <memory>

#include "schema_compiler.h"

namespace TarnValidator {

constexpr size_t kMaxCachedSchemas = 32;
constexpr size_t kMaxCachedSchemaBytes = size_t{4} << 20;

// A compiled schema and the document it views; immutable, shared by concurrent validations.
class SchemaCompilation {
public:
    virtual ~SchemaCompilation() = default;
    virtual const CompiledSchema& compiled() const = 0;
};

// The compilation of schema (a JSON object): from the cache when an equal schema was compiled
// before, else compiled now and kept, unless a "$ref" of it names nothing (a remote document
// may appear later) or it does not fit the cache at all.
std::shared_ptr<const SchemaCompilation> AcquireCompiledSchema(const rapidjson::Value& schema);

}  // namespace TarnValidator
