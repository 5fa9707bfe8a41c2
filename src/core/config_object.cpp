#include "deradidezivizoda/core/config_object.h"

#include <unordered_set>

#include "deradidezivizoda/core/throw_exception.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/json_doc.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/validator/json_validator.h"

namespace TarnConfigManager {

namespace {

// Validator codes a stored object is checked with.
const std::unordered_set<int>& ObjectValidationCodes() {
    static const std::unordered_set<int> codes = {0, 1, 7, 8};
    return codes;
}

}  // namespace

std::string GetInstanceIdFromValue(const rapidjson::Value& value,
                                   const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema) {
    const std::string& keyName = schema->GetInstanceKey();
    if (keyName.empty()) {
        return std::string();
    }
    if (ConfigStoreDocument::ValueExists(value, keyName.c_str())) {
        const rapidjson::Value& member = value[keyName.c_str()];
        if (member.IsString()) {
            return std::string(member.GetString(), member.GetStringLength());
        }
    }
    ThrowException<ConfigManagerException>(INVALID_KEY_VALUE, keyName);
}

bool IsValidCSO(const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema,
                const std::shared_ptr<TarnConfigStore::ConfigStoreObject>& object) {
    const rapidjson::Value* value = object->GetJsonDoc()->GetJsonValuePtr();
    rapidjson::Document errors;
    JsonValidator::Validate(schema->GetDefinition(), *value, errors, ObjectValidationCodes(), "");
    if (!errors.IsArray() || errors.Empty()) {
        return true;
    }
    CSLogger::Log(0, "Invalid ConfigStoreObject: %s",
                  object->GetConfigStoreObjectId().toString().c_str());
    for (const rapidjson::Value& error : errors.GetArray()) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
        // The validator's "error" is a format whose one %s takes "field".
        CSLogger::Log(0, error["error"].GetString(), error["field"].GetString());
#pragma GCC diagnostic pop
    }
    return false;
}

}  // namespace TarnConfigManager
