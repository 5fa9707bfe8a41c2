#include "deradidezivizoda/validation/merged_document.h"

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "tarn/configstore/host_document_merge.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

void CreateMergedDocument(const rapidjson::Document& schemaDocument,
                          rapidjson::Document& document) {
    CSLogger::Log(3, "%s invoked", "CreateMergedDocument");
    ConfigStoreDocument::SchemaMergeMetadataProvider provider(schemaDocument);
    const std::string hostId = GetBIOSUUID();
    ConfigStoreDocument::GetDocumentForHost(document, hostId, provider);
}

void CreateMergedBootDocument(const std::string& inputPath, const std::string& outputPath) {
    CSLogger::Log(3, "%s invoked", "CreateMergedBootDocument");
    rapidjson::Document document;
    CreateDocumentFromFile(inputPath.c_str(), document);
    auto generated = GenerateHostDocumentSchema(document);
    const rapidjson::Document* schema = boost::get<rapidjson::Document>(&generated);
    if (!schema) {
        ThrowException<SchemaNotFound>(SCHEMA_NOT_FOUND, "Schema not found for some key(s).");
    }
    CreateMergedDocument(*schema, document);
    CreateFileFromDocument(outputPath.c_str(), document);
}

}  // namespace TarnConfigManager
