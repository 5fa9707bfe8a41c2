// The vocabulary of extraction: what a document is for (DocumentType), the store rows it is
// built from (RowList) and what the extract plugins delivered (ExtractionData). Plain values,
// built and used within one call on the caller's thread.
#pragma once

#include <memory>
#include <unordered_set>

#include "tarn/configstore/store_rows.h"
#include "tarn/schemastore/schema_object_id.h"

namespace TarnConfigManager {

// Selects where extracted objects go and which cleanup actions apply to them.
enum DocumentType : int {
    CURRENT_CONFIG = 0,    // the host's current configuration
    EXPORT_CONFIG = 1,     // the export document: objects under the member "profile"
    DESIRED_CONFIG = 2,    // the stored desired configuration
    TELEMETRY_CONFIG = 3,  // the telemetry document
};

// Store rows: one string map per row ("Component", "ConfigGroup", "Name", "Identifier",
// "Value", "AutoConfValue"), in store order.
using RowList = TarnConfigStore::ConfigRowList;

// What one run of the extract plugins produced: the keys the plugins were asked for, and the
// rows of the objects they returned, which replace the store's rows of those keys.
struct ExtractionData {
    std::unordered_set<TarnSchemaStore::SchemaObjectId> keys;
    RowList rows;
};

}  // namespace TarnConfigManager
