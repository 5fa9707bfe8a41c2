#include "host_document.h"

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "deradidezivizoda/validation/merged_document.h"
#include "error_report.h"
#include "text_table.h"

namespace Tarnctl {

rapidjson::Document ReadDocument(const std::string& path) {
    rapidjson::Document document;
    TarnConfigManager::CreateDocumentFromFile(path.c_str(), document);
    if (!document.IsObject()) {
        throw CommandError(path + " holds no JSON object; a configuration document is one");
    }
    return document;
}

bool HasHostSections(const rapidjson::Value& document) {
    return document.IsObject() && document.HasMember("profile") &&
           (document.HasMember("host-specific") || document.HasMember("host-override"));
}

void ReduceToThisHost(const rapidjson::Document& schema, rapidjson::Document& document) {
    if (HasHostSections(document)) {
        TarnConfigManager::CreateMergedDocument(schema, document);
    }
}

void ReduceToThisHost(rapidjson::Document& document) {
    if (!HasHostSections(document)) {
        return;
    }
    auto schema = TarnConfigManager::GenerateHostDocumentSchema(document);
    if (auto* errors = boost::get<std::vector<TarnConfigManager::ValidationErrorInfo>>(&schema)) {
        std::vector<std::string> paths;
        for (const auto& error : *errors) {
            paths.push_back(error.path);
        }
        throw CommandError(
            "cannot take this host's view of the document: its schema cannot be "
            "generated at " +
            Joined(paths, ", ") + " (tarnctl validate shows why)");
    }
    ReduceToThisHost(boost::get<rapidjson::Document>(schema), document);
}

}  // namespace Tarnctl
