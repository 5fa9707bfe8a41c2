#include "deradidezivizoda/extract/config_map_list.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_set>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "row_columns.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/validator/json_validator.h"

namespace TarnConfigManager {

namespace {

using ConfigStoreDocument::CLEANUP_ACTIONS;

// The one key extracted although desired-state management leaves it alone.
const TarnSchemaStore::SchemaObjectId& Podlet() {
    static const TarnSchemaStore::SchemaObjectId podlet("podlet", "system", "podlet_daemon");
    return podlet;
}

// Validator codes switched off before auto-configuration: schema defects, formats, integers
// written with a fraction. What remains are the findings auto-configuration can fill.
const std::unordered_set<int>& AutoConfigCodes() {
    static const std::unordered_set<int> codes = {0, 1, 3, 7, 8};
    return codes;
}

// What the rows of one key share. Rows come grouped by key, so it is looked up once per run
// of rows of the same key.
struct RowKeyFacts {
    TarnSchemaStore::SchemaObjectId id;
    std::shared_ptr<TarnSchemaStore::SchemaObject> schema;
    bool notIntegrated;  // left out of documents (the podlet key never is)
    bool autoConfigure;
    const rapidjson::Value* autoConfigSchema;  // what values are checked against, in schema
    // Cleans the key's values; what it reads from the schema is read once for all rows.
    std::unique_ptr<ConfigStoreDocument::ValueCleaner> cleaner;

    bool Matches(const RowNames& names) const {
        return id.GetKey() == names.key && id.GetGroup() == names.group &&
               id.GetComponent() == names.component;
    }
};

RowKeyFacts FactsOf(const RowNames& names, DocumentType type,
                    const std::unordered_set<TarnSchemaStore::SchemaObjectId>& notIntegrated,
                    const std::shared_ptr<TarnSchemaStore::SchemaStore>& store,
                    const std::shared_ptr<ExtractionData>& plugins) {
    TarnSchemaStore::SchemaObjectId id(names.component, names.group, names.key);
    std::shared_ptr<TarnSchemaStore::SchemaObject> schema = RequireSchema(id, store);
    bool excluded = id != Podlet() && notIntegrated.count(id) != 0;
    bool autoConfigure = !plugins || plugins->keys.count(id) == 0;
    const rapidjson::Value* autoConfigSchema = &AutoConfigSchema(schema->GetDefinition());
    return RowKeyFacts{
        std::move(id),
        std::move(schema),
        excluded,
        autoConfigure,
        autoConfigSchema,
        std::make_unique<ConfigStoreDocument::ValueCleaner>(CleanupActionsFor(type))};
}

// Whether the row's key and instance belong in a document at all.
bool IsExtracted(const RowNames& names, const RowKeyFacts& key) {
    const TarnSchemaStore::SchemaObject& schema = *key.schema;
    if (key.notIntegrated) {
        CSLogger::Log(2,
                      "Configuration for {%s/%s/%s} was not extracted, since dspIntegrated=False,",
                      names.component.c_str(), names.group.c_str(), names.key.c_str());
        return false;
    }
    if (IsReservedInstance(schema, names.identifier)) {
        CSLogger::Log(2,
                      "Configuration for {%s/%s/%s/%s} was not extracted, since instance is "
                      "created by a solution.",
                      names.component.c_str(), names.group.c_str(), names.key.c_str(),
                      names.identifier.c_str());
        return false;
    }
    return true;
}

// The cleaned value (text) of one row into target; nothing when it cleans up to {}. The value
// is parsed straight into the document. instances is the array the previous row of the same
// key went to (rows come grouped by key and nothing else is added in between), so that the
// rows of one key do not look up component, group and key each time.
void AddRowValue(rapidjson::Document& document, rapidjson::Value& target, const RowNames& names,
                 const RowKeyFacts& key, rapidjson::Value*& instances) {
    auto& allocator = document.GetAllocator();
    rapidjson::Value value;
    ParseValue(names.value, value, allocator);
    const rapidjson::Value& definition = key.schema->GetDefinition();
    if (key.autoConfigure) {
        ProcessAutoConfig(value, *key.autoConfigSchema, names.autoConfValue, allocator);
    }
    key.cleaner->Clean(value, definition, allocator);
    if (value.IsObject() && value.MemberCount() == 0) {
        CSLogger::Log(2, "Configuration for {%s/%s/%s/%s} was filtered out.",
                      names.component.c_str(), names.group.c_str(), names.key.c_str(),
                      names.identifier.c_str());
        return;
    }
    if (instances && !names.identifier.empty()) {
        instances->PushBack(value, allocator);
        return;
    }
    instances = ConfigStoreDocument::MoveObject(target, names.component, names.group, names.key,
                                                names.identifier, std::move(value), allocator);
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

namespace {

// Adds the rows of one document, one after the other.
class RowConverter {
public:
    RowConverter(rapidjson::Document& document, std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                 DocumentType type, std::shared_ptr<ExtractionData> plugins)
        : document_(document), type_(type), plugins_(std::move(plugins)) {
        CSLogger::Log(3, "%s invoked with DocumentType=%d", "ProcessConfigMapList",
                      static_cast<int>(type));
        if (type == EXPORT_CONFIG) {
            ConfigStoreDocument::AddProfile(document);
        }
        store_ = RequireSchemaStore(std::move(store));
        notIntegrated_ = store_->GetNotIntegratedKeys();
    }

    void Add(const RowNames& names) {
        CSLogger::Log(2, "Configuration for {%s/%s/%s/%s} was found.", names.component.c_str(),
                      names.group.c_str(), names.key.c_str(), names.identifier.c_str());
        if (names.value == TarnConfigStore::kDeleteDefaultValue) {
            ThrowException<ConfigManagerException>(
                DELETE_DEFAULT_NOT_SUPPORTED,
                TarnSchemaStore::SchemaObjectId(names.component, names.group, names.key)
                    .toString());
        }
        if (!key_ || !key_->Matches(names)) {
            key_ = FactsOf(names, type_, notIntegrated_, store_, plugins_);
            instances_ = nullptr;
        }
        if (!IsExtracted(names, *key_)) {
            return;
        }
        rapidjson::Value& target = type_ == EXPORT_CONFIG ? document_["profile"] : document_;
        AddRowValue(document_, target, names, *key_, instances_);
    }

private:
    rapidjson::Document& document_;
    DocumentType type_;
    std::shared_ptr<ExtractionData> plugins_;
    std::shared_ptr<TarnSchemaStore::SchemaStore> store_;
    std::unordered_set<TarnSchemaStore::SchemaObjectId> notIntegrated_;
    std::optional<RowKeyFacts> key_;
    rapidjson::Value* instances_ = nullptr;
};

}  // namespace

void ProcessConfigMapList(rapidjson::Document& document, RowList& rows,
                          std::shared_ptr<TarnSchemaStore::SchemaStore> store, DocumentType type,
                          std::shared_ptr<ExtractionData> plugins) {
    RowConverter converter(document, std::move(store), type, std::move(plugins));
    for (const auto& row : rows) {
        converter.Add(NamesOf(*row));
    }
}

void ConsumeStoreRows(rapidjson::Document& document, std::vector<TarnConfigStore::StoreRow>& rows,
                      const RowList& more, std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                      DocumentType type, std::shared_ptr<ExtractionData> plugins) {
    RowConverter converter(document, std::move(store), type, std::move(plugins));
    for (TarnConfigStore::StoreRow& row : rows) {
        converter.Add(NamesOf(row));
        std::string().swap(row.value);
        std::string().swap(row.autoConfValue);
    }
    for (const auto& row : more) {
        converter.Add(NamesOf(*row));
    }
}

void ConsumeVisitedRows(rapidjson::Document& document, const StoreRowVisit& visit,
                        const RowList& more, std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                        DocumentType type, std::shared_ptr<ExtractionData> plugins) {
    RowConverter converter(document, std::move(store), type, std::move(plugins));
    visit([&converter](const TarnConfigStore::StoreRow& row) { converter.Add(NamesOf(row)); });
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
