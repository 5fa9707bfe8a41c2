#include "tarn/validator/json_validator.h"

#include <vector>

#include "compiled_schema_cache.h"
#include "error_catalog.h"
#include "instance_checker.h"
#include "remote_schemas.h"
#include "tarn/json/config_store_exception.h"

namespace {

using TarnValidator::ValidationFinding;

uint64_t SwitchedOffCodes(const std::unordered_set<int>& codeSet) {
    uint64_t mask = 0;
    for (int code : codeSet) {
        if (code >= 0 && code < 64) {
            mask |= uint64_t{1} << code;
        }
    }
    return mask;
}

void AppendFindings(const std::vector<ValidationFinding>& findings, rapidjson::Document& errors,
                    bool withText) {
    auto& allocator = errors.GetAllocator();
    if (!errors.IsArray()) {
        errors.SetArray();
    }
    for (const ValidationFinding& finding : findings) {
        rapidjson::Value args(rapidjson::kArrayType);
        for (const std::string& arg : finding.args) {
            args.PushBack(rapidjson::Value(arg, allocator), allocator);
        }
        rapidjson::Value error(rapidjson::kObjectType);
        error.AddMember("field", rapidjson::Value(finding.field, allocator), allocator);
        error.AddMember("errId", finding.code, allocator);
        error.AddMember("errArgs", args, allocator);
        if (withText) {
            error.AddMember("error", rapidjson::Value(ErrorTextOf(finding), allocator), allocator);
        }
        errors.PushBack(error, allocator);
    }
}

void Run(const rapidjson::Value& schema, const rapidjson::Value& value, rapidjson::Document& errors,
         const std::unordered_set<int>& codeSet, const std::string& text, bool document) {
    if (!schema.IsObject()) {
        throw TarnConfigStore::ConfigStoreException(
            TarnConfigStore::kStoreJsonError,
            "JSON schema validation: the schema is not a JSON object");
    }
    auto compilation = TarnValidator::AcquireCompiledSchema(schema);
    TarnValidator::CheckOptions options;
    options.switchedOff = SwitchedOffCodes(codeSet);
    options.documentKeys = document;
    options.fieldPrefix = text;
    std::vector<ValidationFinding> findings;
    TarnValidator::InstanceChecker checker(options, findings);
    checker.Check(compilation->compiled().root(), value, TarnValidator::PathFrame());
    AppendFindings(findings, errors, !document);
}

}  // namespace

void JsonValidator::Validate(const rapidjson::Value& schema, const rapidjson::Value& value,
                             rapidjson::Document& errors, const std::unordered_set<int>& codeSet,
                             const std::string& text) {
    Run(schema, value, errors, codeSet, text, false);
}

void JsonValidator::ValidateCMDocument(const rapidjson::Value& schema,
                                       const rapidjson::Value& value, rapidjson::Document& errors,
                                       const std::unordered_set<int>& codeSet,
                                       const std::string& text) {
    Run(schema, value, errors, codeSet, text, true);
}

const char* JsonValidator::ConvertErrorCodeToMsgId(int errId) {
    return TarnValidator::MessageIdOf(errId);
}

void JsonValidator::MapRemoteSchemas(const std::string& uriPrefix, const std::string& folder) {
    TarnValidator::MapRemoteSchemaFolder(uriPrefix, folder);
}
