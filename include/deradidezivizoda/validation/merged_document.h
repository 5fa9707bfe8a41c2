// The view of a multi-host document ("profile", "host-specific", "host-override") that
// applies to this host, identified by its BIOS UUID; rules in docs/host-documents.md.
// Reentrant; documents belong to the caller.
#pragma once

#include <string>

#include "deradidezivizoda/export.h"
#include "tarn/json/json.h"

namespace TarnConfigManager {

// Reduces document in place to this host's view, reading which keys hold instances (and how
// instances are matched) from schemaDocument, a schema from GenerateHostDocumentSchema.
// Store exceptions (a level that is not an object: 2000) propagate; document is then unchanged.
TARN_EXPORT void CreateMergedDocument(const rapidjson::Document& schemaDocument,
                                      rapidjson::Document& document);

// Writes this host's view of the document in inputPath to outputPath as compact JSON.
// PARSE_ERROR (2080) with the path for an unreadable or malformed input; SchemaNotFound
// (SCHEMA_NOT_FOUND, 2021) "Schema not found for some key(s)." when a key has no schema,
// before anything is written. Writing the output is best effort and never reported.
TARN_EXPORT void CreateMergedBootDocument(const std::string& inputPath,
                                          const std::string& outputPath);

}  // namespace TarnConfigManager
