// Turning store rows into a configuration document: the filters (keys outside desired-state
// management, instances a solution owns), auto-configuration of values validation finds
// incomplete, and the cleanup each DocumentType asks for. Reentrant; one document per call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/export.h"
#include "deradidezivizoda/extract/extraction_types.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

// Adds one object per row to document (under "profile" for EXPORT_CONFIG). plugins, when
// given, names the keys whose rows came from extract plugins: their values are not
// auto-configured. Throws ConfigManagerException 2027 for a row holding "DELETE_DEFAULT",
// 2021 for a key without schema, 2180 without a schema store, InvalidArgumentException 2080
// for a value that does not parse; document is then incomplete.
TARN_EXPORT void ProcessConfigMapList(rapidjson::Document& document, RowList& rows,
                                      std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                                      DocumentType type, std::shared_ptr<ExtractionData> plugins);

// The rows of one source at store positions from `from` up to, without, `to`, read through
// connection and handed to add in order: a visit over a table of the store, say.
using StoreRowVisit = std::function<void(
    const std::shared_ptr<DBStore::StoreConnection>& connection, int64_t from, int64_t to,
    const std::function<void(const TarnConfigStore::StoreRowView&)>& add)>;

// ProcessConfigMapList for the rows of table that visit hands over one at a time, followed by
// more: no row is kept once its value is in document. connection is the calling thread's. With
// many rows, the later half of the positions is visited and converted on a worker thread of
// this call with a connection of its own (results, log lines and errors as from one thread).
// renderValues: each key value, each instance, is kept as a string holding its normal-form
// text (ConfigStoreDocument::NormalizeRenderedInPlace writes such a document). Library-internal,
// not exported.
void ConsumeVisitedRows(rapidjson::Document& document,
                        const std::shared_ptr<DBStore::StoreConnection>& connection,
                        TarnConfigStore::RowTable table, const StoreRowVisit& visit,
                        const RowList& more, std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                        DocumentType type, std::shared_ptr<ExtractionData> plugins,
                        bool renderValues = false);

// Fills the members validation against schema finds missing (required properties, union
// tags) from autoConfValue, the JSON text of what the host configured automatically; other
// findings are logged at priority 0 and leave value as it is. InvalidArgumentException 2080
// when autoConfValue does not parse.
TARN_EXPORT void ProcessAutoConfig(rapidjson::Value& value, const rapidjson::Value& schema,
                                   const std::string& autoConfValue,
                                   rapidjson::MemoryPoolAllocator<>& allocator);

// The cleanup actions of a document type, in the order they apply.
TARN_EXPORT const std::vector<ConfigStoreDocument::CLEANUP_ACTIONS>& CleanupActionsFor(
    DocumentType type);

}  // namespace TarnConfigManager
