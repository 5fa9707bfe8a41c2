// Building the inputs of plugin runs from what the drift engine reports: the compared part of
// a desired document, the configuration object of a changed key (the schema-aware CreateObject
// the configuration store offers through ObjectSchemaFacts) and its drift object. Shared by the
// impact handler and the apply task generator; private to the library; reentrant.
#pragma once

#include <memory>
#include <optional>

#include "deradidezivizoda/drift/drift_handler.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/drift_object.h"
#include "tarn/schemastore/schema_object.h"

namespace TarnConfigStore {

inline std::shared_ptr<ConfigStoreObject> CreateObject(
    const ConfigStoreObjectId& id, const rapidjson::Value& value,
    const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema,
    std::optional<unsigned long> index) {
    return CreateObject(
        id, value, ObjectSchemaFacts{schema->GetSchemaText(), schema->GetInstanceKey()}, index);
}

// The same object reading value where it lies (CreateObjectView).
inline std::shared_ptr<ConfigStoreObject> CreateObjectView(
    const ConfigStoreObjectId& id, const rapidjson::Value& value,
    const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema,
    std::optional<unsigned long> index) {
    return CreateObjectView(
        id, value, ObjectSchemaFacts{schema->GetSchemaText(), schema->GetInstanceKey()}, index);
}

}  // namespace TarnConfigStore

namespace TarnConfigManager {

// The member "profile" of document when it has one, else document itself. ConfigStoreException
// 1082 when document is not an object.
rapidjson::Value& ComparedConfiguration(rapidjson::Document& document);

// The drift object of markers (the engine's drift markers of one object): empty for null or
// an object without members; ConfigStoreException 1082 for any other kind.
std::shared_ptr<TarnConfigStore::DriftObject> DriftObjectOf(
    const TarnConfigStore::ConfigStoreObjectId& id, ACTION action, const rapidjson::Value& markers);

}  // namespace TarnConfigManager
