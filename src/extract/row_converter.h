// The conversion of store rows into a configuration document, one row after the other, shared
// by every extraction that builds a document from rows. Private to src/extract. A converter
// belongs to one thread; the context it reads is immutable once made, so converters on two
// threads may share it.
#pragma once

#include <memory>
#include <optional>
#include <unordered_set>

#include "deradidezivizoda/extract/extraction_types.h"
#include "row_columns.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

// What the rows of one conversion share: made once, before any row.
struct ConversionContext {
    DocumentType type;
    std::shared_ptr<TarnSchemaStore::SchemaStore> store;
    std::unordered_set<TarnSchemaStore::SchemaObjectId> notIntegrated;
    std::shared_ptr<ExtractionData> plugins;
    // Each key value (each instance of a multi-instance key) is kept as a string holding its
    // normal-form text (ConfigStoreDocument::RenderNormalForm), for the export: written while
    // the row is in cache, and parsed into memory the thread reuses from row to row.
    bool renderValues = false;
};

// Logs that the conversion begins, adds "profile" to document for EXPORT_CONFIG, and reads
// what the rows share. Throws ConfigManagerException 2180 without a schema store.
ConversionContext BeginConversion(rapidjson::Document& document,
                                  std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                                  DocumentType type, std::shared_ptr<ExtractionData> plugins);

// What the rows of one key share: looked up once per run of rows of the same key.
struct RowKeyFacts;
// Where a converter that renders values parses each one and writes its text.
struct ValueRendering;

// Adds rows to a document, one after the other.
class RowConverter {
public:
    // Adds to target (document itself, or its "profile"), in document's allocator.
    RowConverter(const ConversionContext& context, rapidjson::Document& document,
                 rapidjson::Value& target);
    ~RowConverter();
    RowConverter(const RowConverter&) = delete;
    RowConverter& operator=(const RowConverter&) = delete;

    void Add(const RowNames& names);

    // Forgets the key of the last row: the next row looks its key up in the target again.
    void Restart();

    // From now on, notes in keys each key a row adds a single object (no instance) to.
    void NoteSingleObjects(std::unordered_set<TarnSchemaStore::SchemaObjectId>* keys) {
        singles_ = keys;
    }

private:
    const ConversionContext& context_;
    rapidjson::Document& document_;
    rapidjson::Value& target_;
    std::unique_ptr<RowKeyFacts> key_;
    std::unique_ptr<ValueRendering> rendering_;  // with context.renderValues only
    rapidjson::Value* instances_ = nullptr;
    std::unordered_set<TarnSchemaStore::SchemaObjectId>* singles_ = nullptr;
};

// The member the rows of a document type go under: document itself or its "profile".
rapidjson::Value& ConversionTarget(rapidjson::Document& document, DocumentType type);

}  // namespace TarnConfigManager
