// libFuzzer target for key schema files and the validator: the input is a schema file's text,
// a NUL byte, and an instance's text. The file goes through the schema store's checks, and the
// instance is validated against the key's definition and against the file read as a schema
// itself. The validator must never throw on an object schema and must always answer with an
// array of error objects that carry a field and a code.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_host.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "tarn/schemastore/schema_object.h"
#include "tarn/validator/json_validator.h"

namespace {

void CheckErrors(const rapidjson::Document& errors) {
    if (!errors.IsArray()) {
        std::abort();
    }
    for (const auto& error : errors.GetArray()) {
        if (!error.IsObject() || !error.HasMember("field") || !error["field"].IsString() ||
            !error.HasMember("errId") || !error["errId"].IsInt()) {
            std::abort();
        }
    }
}

void Validate(const rapidjson::Value& schema, const rapidjson::Value& instance) {
    rapidjson::Document errors;
    JsonValidator::Validate(schema, instance, errors, {}, "");
    CheckErrors(errors);
    rapidjson::Document documentErrors;
    JsonValidator::ValidateCMDocument(schema, instance, documentErrors, {}, "");
    CheckErrors(documentErrors);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input = TarnFuzz::InputText(data, size);
    size_t split = input.find('\0');
    if (split == std::string::npos) {
        return 0;
    }
    rapidjson::Document file;
    rapidjson::Document instance;
    if (!TarnConfigStore::ParseJsonText(input.substr(0, split), file) || !file.IsObject() ||
        !TarnConfigStore::ParseJsonText(input.substr(split + 1), instance)) {
        return 0;
    }
    Validate(file, instance);
    std::shared_ptr<TarnSchemaStore::SchemaObject> key;
    try {
        key = TarnSchemaStore::SchemaObject::Create({"fuzz", "group", "key"}, file, "fuzz.json");
    } catch (const TarnConfigStore::ConfigStoreException&) {
        return 0;
    }
    if (key->GetDefinition().IsObject()) {
        Validate(key->GetDefinition(), instance);
    }
    return 0;
}
