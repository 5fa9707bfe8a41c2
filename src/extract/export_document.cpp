#include "deradidezivizoda/extract/export_document.h"

#include <exception>

#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/extract/extract_user_configuration.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/host_document_merge.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/sablectl/system_info.h"
#include "tarn/schemastore/schema_document.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

namespace {

std::string Export(const char* operation, DocumentType type) {
    HostLock hostLock;
    try {
        CSLogger::Log(3, "%s invoked", operation);
        // The export's key values come as their texts, written while each row was in cache;
        // the telemetry view keeps values (its rows are few, allowlisted).
        const bool rendered = type == EXPORT_CONFIG;
        rapidjson::Document document =
            rendered ? ExtractRenderedUserConfiguration() : ExtractUserConfiguration(type);
        rapidjson::Document schema;
        rapidjson::Document errors;
        // Keys without schema cannot be in a document built from the store; the errors of
        // the generator are not read.
        TarnSchemaStore::GenerateSchemaDocument(
            document["profile"], TarnSchemaStore::SchemaStore::GetCache(), schema, errors);
        const std::string uuid = GetBIOSUUID();
        ConfigStoreDocument::SplitDocument(schema, uuid, document);
        AddReferenceHost(uuid, document);
        return rendered ? ConfigStoreDocument::NormalizeRenderedInPlace(document)
                        : ConfigStoreDocument::NormalizeInPlace(document);
    } catch (const TarnConfigStore::ConfigStoreException&) {
        throw;
    } catch (const std::exception& error) {
        ThrowException<ConfigManagerException>(UNEXPECTED_ERROR,
                                               std::string(operation) + " failed: " + error.what());
    }
}

}  // namespace

std::string ExportDocument() {
    return Export("ExportDocument", EXPORT_CONFIG);
}

std::string ExportDocumentTelemetry() {
    return Export("ExportDocumentTelemetry", TELEMETRY_CONFIG);
}

void AddReferenceHost(const std::string& hostUuid, rapidjson::Document& document) {
    const SableCtl::System::SableVersion kernel =
        SableCtl::System::SystemInfoImpl().GetSableVersion();
    const std::pair<const char*, const std::string*> members[] = {{"uuid", &hostUuid},
                                                                  {"build", &kernel.build},
                                                                  {"version", &kernel.version},
                                                                  {"patch", &kernel.patch},
                                                                  {"update", &kernel.update}};
    for (const auto& [name, text] : members) {
        rapidjson::Pointer(std::string("/metadata/reference_host/") + name)
            .Set(document, rapidjson::Value(*text, document.GetAllocator()),
                 document.GetAllocator());
    }
}

}  // namespace TarnConfigManager
