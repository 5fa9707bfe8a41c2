#include "row_converter.h"

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/extract/config_map_list.h"
#include "tarn/json/kept_pool.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

// The one key extracted although desired-state management leaves it alone.
const TarnSchemaStore::SchemaObjectId& Podlet() {
    static const TarnSchemaStore::SchemaObjectId podlet("podlet", "system", "podlet_daemon");
    return podlet;
}

}  // namespace

// Rows come grouped by key, so this is looked up once per run of rows of the same key.
struct RowKeyFacts {
    TarnSchemaStore::SchemaObjectId id;
    std::shared_ptr<TarnSchemaStore::SchemaObject> schema;
    bool notIntegrated;  // left out of documents (the podlet key never is)
    bool autoConfigure;
    const rapidjson::Value* autoConfigSchema;  // what values are checked against, in schema
    // Cleans the key's values; what it reads from the schema is read once for all rows.
    ConfigStoreDocument::ValueCleaner cleaner;

    RowKeyFacts(const RowNames& names, const ConversionContext& context)
        : id(std::string(names.component), std::string(names.group), std::string(names.key)),
          schema(RequireSchema(id, context.store)),
          notIntegrated(id != Podlet() && context.notIntegrated.count(id) != 0),
          autoConfigure(!context.plugins || context.plugins->keys.count(id) == 0),
          autoConfigSchema(&AutoConfigSchema(schema->GetDefinition())),
          cleaner(CleanupActionsFor(context.type)) {}

    bool Matches(const RowNames& names) const {
        return id.GetKey() == names.key && id.GetGroup() == names.group &&
               id.GetComponent() == names.component;
    }
};

struct ValueRendering {
    TarnConfigStore::KeptPool scratch;  // cleared for each row
    std::string text;
};

namespace {

// Whether the row's key and instance belong in a document at all.
bool IsExtracted(const RowNames& names, const RowKeyFacts& key) {
    const TarnSchemaStore::SchemaObject& schema = *key.schema;
    if (key.notIntegrated) {
        CSLogger::Log(
            2, "Configuration for {%s/%s/%s} was not extracted, since dspIntegrated=False,",
            key.id.GetComponent().c_str(), key.id.GetGroup().c_str(), key.id.GetKey().c_str());
        return false;
    }
    if (IsReservedInstance(schema, names.identifier)) {
        LogRow(2, names, "was not extracted, since instance is created by a solution.");
        return false;
    }
    return true;
}

// The cleaned value (text) of one row into target (whether it went there); nothing when it
// cleans up to {}. The value is parsed straight into the document, or with rendering into the
// scratch pool, and then only its text goes into the document. instances is the array the
// previous row of the same key went to (rows come grouped by key and nothing else is added in
// between), so that the rows of one key do not look up component, group and key each time.
bool AddRowValue(rapidjson::Document& document, rapidjson::Value& target, const RowNames& names,
                 RowKeyFacts& key, rapidjson::Value*& instances, ValueRendering* rendering) {
    auto& allocator = document.GetAllocator();
    auto& working = rendering ? rendering->scratch.Get() : allocator;
    if (rendering) {
        working.Clear();
    }
    rapidjson::Value value;
    ParseValue(names.value, value, working);
    const rapidjson::Value& definition = key.schema->GetDefinition();
    if (key.autoConfigure) {
        ProcessAutoConfig(value, *key.autoConfigSchema, std::string(names.autoConfValue),
                          working);
    }
    key.cleaner.Clean(value, definition, working);
    if (value.IsObject() && value.MemberCount() == 0) {
        LogRow(2, names, "was filtered out.");
        return false;
    }
    if (rendering) {
        ConfigStoreDocument::RenderNormalForm(value, rendering->text);
        value.SetString(rendering->text.data(),
                        static_cast<rapidjson::SizeType>(rendering->text.size()), allocator);
    }
    if (instances && !names.identifier.empty()) {
        instances->PushBack(value, allocator);
        return true;
    }
    // The key's names are the ones of key.id: the row matched them.
    instances = ConfigStoreDocument::MoveObject(target, key.id.GetComponent(), key.id.GetGroup(),
                                                key.id.GetKey(), std::string(names.identifier),
                                                std::move(value), allocator);
    return true;
}

}  // namespace

ConversionContext BeginConversion(rapidjson::Document& document,
                                  std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                                  DocumentType type, std::shared_ptr<ExtractionData> plugins) {
    CSLogger::Log(3, "%s invoked with DocumentType=%d", "ProcessConfigMapList",
                  static_cast<int>(type));
    if (type == EXPORT_CONFIG) {
        ConfigStoreDocument::AddProfile(document);
    }
    store = RequireSchemaStore(std::move(store));
    auto notIntegrated = store->GetNotIntegratedKeys();
    return ConversionContext{type, std::move(store), std::move(notIntegrated), std::move(plugins)};
}

rapidjson::Value& ConversionTarget(rapidjson::Document& document, DocumentType type) {
    return type == EXPORT_CONFIG ? document["profile"] : document;
}

RowConverter::RowConverter(const ConversionContext& context, rapidjson::Document& document,
                           rapidjson::Value& target)
    : context_(context), document_(document), target_(target) {
    if (context.renderValues) {
        rendering_ = std::make_unique<ValueRendering>();
    }
}

RowConverter::~RowConverter() = default;

void RowConverter::Add(const RowNames& names) {
    LogRow(2, names, "was found.");
    if (names.value == TarnConfigStore::kDeleteDefaultValue) {
        ThrowException<ConfigManagerException>(
            DELETE_DEFAULT_NOT_SUPPORTED,
            TarnSchemaStore::SchemaObjectId(std::string(names.component), std::string(names.group),
                                            std::string(names.key))
                .toString());
    }
    if (!key_ || !key_->Matches(names)) {
        key_.reset();
        key_ = std::make_unique<RowKeyFacts>(names, context_);
        instances_ = nullptr;
    }
    if (!IsExtracted(names, *key_)) {
        return;
    }
    if (AddRowValue(document_, target_, names, *key_, instances_, rendering_.get()) && singles_ &&
        names.identifier.empty()) {
        singles_->insert(key_->id);
    }
}

void RowConverter::Restart() {
    key_.reset();
    instances_ = nullptr;
}

}  // namespace TarnConfigManager
