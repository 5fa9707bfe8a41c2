#include "host_document.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "deradidezivizoda/validation/merged_document.h"
#include "error_report.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

std::string ReadStandardInput() {
    std::string text;
    char chunk[65536];
    size_t count;
    // One byte past the parser's limit is enough for it to refuse the text.
    while (text.size() <= TarnConfigStore::kMaxJsonBytes &&
           (count = std::fread(chunk, 1, sizeof(chunk), stdin)) > 0) {
        text.append(chunk, count);
    }
    if (std::ferror(stdin)) {
        throw CommandError(std::string("cannot read standard input: ") + std::strerror(errno));
    }
    return text;
}

void ParseStandardInput(rapidjson::Document& document) {
    try {
        TarnConfigManager::ParseDocument(ReadStandardInput(), document);
    } catch (TarnConfigStore::ConfigStoreException& error) {
        // The text has no path: it is named as a file's path would be.
        if (error.GetParseError()) {
            error.AddArg(kStandardInputName);
        }
        throw;
    }
}

}  // namespace

std::string DocumentName(const std::string& path) {
    return path == kStandardInput ? kStandardInputName : path;
}

rapidjson::Document ReadDocument(const std::string& path) {
    rapidjson::Document document;
    if (path == kStandardInput) {
        ParseStandardInput(document);
    } else {
        TarnConfigManager::CreateDocumentFromFile(path.c_str(), document);
    }
    if (!document.IsObject()) {
        throw CommandError(DocumentName(path) +
                           " holds no JSON object; a configuration document is one");
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
