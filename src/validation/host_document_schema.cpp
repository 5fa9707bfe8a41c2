#include "deradidezivizoda/validation/host_document_schema.h"

#include <string>

#include "deradidezivizoda/core/host_state.h"
#include "tarn/configstore/host_document_merge.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/schemastore/schema_document.h"
#include "tarn/schemastore/schema_store.h"
#include "validation/validation_errors.h"

namespace TarnConfigManager {

namespace {

// Adds the schema of every section of document[name] addressed to hostId, in member order.
// A member that is not an object holds no sections.
void GenerateHostSections(const rapidjson::Value& document, const char* name,
                          const std::string& hostId,
                          const std::shared_ptr<const TarnSchemaStore::SchemaCache>& cache,
                          rapidjson::Document& schema, rapidjson::Document& errors) {
    auto sections = document.FindMember(name);
    if (sections == document.MemberEnd() || !sections->value.IsObject()) {
        return;
    }
    for (const auto& section : sections->value.GetObject()) {
        std::string sectionName(section.name.GetString(), section.name.GetStringLength());
        if (ConfigStoreDocument::HostIdMatches(sectionName, hostId)) {
            TarnSchemaStore::GenerateSchemaDocument(section.value, cache, schema, errors);
        }
    }
}

}  // namespace

HostDocumentSchema GenerateHostDocumentSchema(const rapidjson::Value& document) {
    CSLogger::Log(3, "%s invoked", "GenerateHostDocumentSchema");
    auto cache = TarnSchemaStore::SchemaStore::GetCache();
    const std::string hostId = GetBIOSUUID();
    rapidjson::Document schema;
    rapidjson::Document errors(rapidjson::kArrayType);

    auto profile = document.FindMember("profile");
    if (profile == document.MemberEnd()) {
        TarnSchemaStore::GenerateSchemaDocument(document, cache, schema, errors);
    } else {
        TarnSchemaStore::GenerateSchemaDocument(profile->value, cache, schema, errors);
        GenerateHostSections(document, "host-specific", hostId, cache, schema, errors);
        GenerateHostSections(document, "host-override", hostId, cache, schema, errors);
    }

    ValidationErrorMap errorMap;
    FailedObjectSet unused;
    CollectValidationErrors(errors, errorMap, unused);
    if (errorMap.empty()) {
        return HostDocumentSchema(std::move(schema));
    }
    return TakeErrorList(errorMap);
}

}  // namespace TarnConfigManager
