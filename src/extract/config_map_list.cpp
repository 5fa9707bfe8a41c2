#include "deradidezivizoda/extract/config_map_list.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_set>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "row_columns.h"
#include "row_converter.h"
#include "row_halves.h"
#include "tarn/configstore/db_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/validator/json_validator.h"

namespace TarnConfigManager {

namespace {

using ConfigStoreDocument::CLEANUP_ACTIONS;

// Validator codes switched off before auto-configuration: schema defects, formats, integers
// written with a fraction. What remains are the findings auto-configuration can fill.
const std::unordered_set<int>& AutoConfigCodes() {
    static const std::unordered_set<int> codes = {0, 1, 3, 7, 8};
    return codes;
}

}  // namespace

const std::vector<CLEANUP_ACTIONS>& CleanupActionsFor(DocumentType type) {
    using namespace ConfigStoreDocument;
    static const std::vector<CLEANUP_ACTIONS> current = {DROP_NULL_VALUES, DROP_EMPTY_OBJECTS,
                                                         DROP_READ_ONLY_VALUES, DROP_DEFAULT_VALUES,
                                                         DROP_UNDECLARED_MEMBERS};
    static const std::vector<CLEANUP_ACTIONS> exported = {
        DROP_NULL_VALUES,      DROP_EMPTY_OBJECTS,  DROP_GENERATED_IDS,     MASK_SENSITIVE_VALUES,
        DROP_READ_ONLY_VALUES, DROP_DEFAULT_VALUES, DROP_UNDECLARED_MEMBERS};
    static const std::vector<CLEANUP_ACTIONS> telemetry = {
        DROP_NULL_VALUES,      DROP_EMPTY_OBJECTS,  DROP_GENERATED_IDS,      MASK_SENSITIVE_VALUES,
        DROP_READ_ONLY_VALUES, DROP_DEFAULT_VALUES, DROP_UNDECLARED_MEMBERS, DROP_SENSITIVE_VALUES};
    static const std::vector<CLEANUP_ACTIONS> other = {DROP_NULL_VALUES, DROP_EMPTY_OBJECTS};
    switch (type) {
        case CURRENT_CONFIG:
            return current;
        case EXPORT_CONFIG:
            return exported;
        case TELEMETRY_CONFIG:
            return telemetry;
        default:
            return other;
    }
}

void ProcessConfigMapList(rapidjson::Document& document, RowList& rows,
                          std::shared_ptr<TarnSchemaStore::SchemaStore> store, DocumentType type,
                          std::shared_ptr<ExtractionData> plugins) {
    ConversionContext context =
        BeginConversion(document, std::move(store), type, std::move(plugins));
    RowConverter converter(context, document, ConversionTarget(document, type));
    for (const auto& row : rows) {
        converter.Add(NamesOf(*row));
    }
}

namespace {

// Ends a worker's visit once the calling thread has failed.
struct Stopped {};

}  // namespace

void ConsumeVisitedRows(rapidjson::Document& document,
                        const std::shared_ptr<DBStore::StoreConnection>& connection,
                        TarnConfigStore::RowTable table, const StoreRowVisit& visit,
                        const RowList& more, std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                        DocumentType type, std::shared_ptr<ExtractionData> plugins,
                        bool renderValues) {
    ConversionContext context =
        BeginConversion(document, std::move(store), type, std::move(plugins));
    context.renderValues = renderValues;
    rapidjson::Value& target = ConversionTarget(document, type);
    RowConverter converter(context, document, target);
    auto add = [&converter](const TarnConfigStore::StoreRowView& row) { converter.Add(row); };
    const RowPositionCut cut = CutRowPositions(connection, table);
    std::optional<SecondHalf> second;
    if (cut.at < cut.end) {
        second.emplace(context, document, cut.textBytes,
                       [&visit, at = cut.at](RowConverter& worker, const std::atomic<bool>& stop) {
                           // The worker's own connection: a connection belongs to one thread.
                           std::shared_ptr<DBStore::StoreConnection> own;
                           try {
                               own = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, false);
                           } catch (const TarnConfigStore::ConfigStoreException&) {
                               return false;
                           }
                           visit(own, at, INT64_MAX, [&](const TarnConfigStore::StoreRowView& row) {
                               if (stop) {
                                   throw Stopped();
                               }
                               worker.Add(row);
                           });
                           return true;
                       });
    }
    const bool halves = second && second->Started();
    visit(connection, INT64_MIN, halves ? cut.at : INT64_MAX, add);
    if (halves) {
        if (!second->Join(target)) {
            visit(connection, cut.at, INT64_MAX, add);
        }
        converter.Restart();
    }
    for (const auto& row : more) {
        converter.Add(NamesOf(*row));
    }
}

void ProcessAutoConfig(rapidjson::Value& value, const rapidjson::Value& schema,
                       const std::string& autoConfValue,
                       rapidjson::MemoryPoolAllocator<>& allocator) {
    if (autoConfValue.empty()) {
        CSLogger::Log(3, "No auto configuration to process");
        return;
    }
    rapidjson::Document errors;
    JsonValidator::Validate(schema, value, errors, AutoConfigCodes(), "");
    if (errors.GetArray().Empty()) {
        return;
    }
    rapidjson::Document autoConf;
    ParseDocument(autoConfValue, autoConf);
    for (const rapidjson::Value& error : errors.GetArray()) {
        const char* field = error["field"].GetString();
        int errId = error["errId"].GetInt();
        const char* text = error["error"].GetString();
        if (errId == JsonValidator::kRequiredPropertyMissing) {
            CSLogger::Log(2, "patching validation error: '%s' %s", field, text);
            ConfigStoreDocument::PatchRequiredProperty(value, field, autoConf, allocator);
        } else if (errId == JsonValidator::kUnionTagMissing) {
            CSLogger::Log(2, "patching validation error: '%s' %s", field, text);
            ConfigStoreDocument::PatchUnionTagProperty(value, field, autoConf, schema, allocator);
        } else {
            CSLogger::Log(0, "unexpected validation error: '%s' %s", field, text);
        }
    }
}

}  // namespace TarnConfigManager
