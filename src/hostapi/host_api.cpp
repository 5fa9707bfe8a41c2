#include "deradidezivizoda/hostapi/host_api.h"

#include <unordered_set>

#include "apply_host_api_config.h"
#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/impact/impact_handler.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "key_config.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/validator/json_validator.h"

namespace TarnConfigManager {

namespace {

using ObjectId = TarnConfigStore::ConfigStoreObjectId;

// Validator findings a person setting one value cannot act on: unknown keywords and formats,
// integers written as floats, format mismatches, invalid schema keywords.
const std::unordered_set<int> kIgnoredValidatorCodes = {0, 1, 3, 7, 8};

TarnConfigStore::ObjectSchemaFacts FactsOf(const KeySchema& schema) {
    return TarnConfigStore::ObjectSchemaFacts{schema->GetSchemaText(), schema->GetInstanceKey()};
}

void ParseCurrent(const std::string& text, rapidjson::Document& out) {
    if (!text.empty() && !TarnConfigStore::ParseJsonText(text, out)) {
        ThrowException<ConfigManagerException>(PARSE_ERROR);
    }
}

void RefuseWhileRebootPending() {
    if (TarnConfigStore::GetBootMode() == TarnConfigStore::DESIRED_PENDING) {
        ThrowException<HostInDBM>(HOST_IN_DBM);
    }
}

// Whether an impact lets the change go ahead now; NOT_IN_MAINT_MODE when it needs a
// maintenance mode the host is not in. False means it waits for a reboot.
bool ApplyNow(const ImpactResult& impact) {
    if (impact.impact == REBOOT_REQUIRED) {
        return false;
    }
    if (impact.impact == MAINTENANCE_MODE_REQUIRED && !IsMaintenanceModeEnabled()) {
        ThrowException<HostNotInMM>(NOT_IN_MAINT_MODE);
    }
    return true;
}

ValidationErrorInfo ToValidationError(const rapidjson::Value& error) {
    if (!error.IsObject() || !error.HasMember("errId") || !error["errId"].IsInt() ||
        !error.HasMember("errArgs") || !error["errArgs"].IsArray() || !error.HasMember("field") ||
        !error["field"].IsString()) {
        throw TarnConfigStore::ConfigStoreException(1082, "Malformed validator error");
    }
    std::vector<std::string> args;
    for (const rapidjson::Value& arg : error["errArgs"].GetArray()) {
        if (!arg.IsString()) {
            throw TarnConfigStore::ConfigStoreException(1082, "Malformed validator error");
        }
        args.emplace_back(arg.GetString(), arg.GetStringLength());
    }
    ValidationErrorInfo info;
    info.path = error["field"].GetString();
    info.messages.emplace_back(JsonValidator::ConvertErrorCodeToMsgId(error["errId"].GetInt()),
                               std::move(args));
    return info;
}

}  // namespace

void GetConfig(const std::string& component, const std::string& group, const std::string& key,
               std::string& defaultConfig, std::string& currentConfig, std::string& schemaText) {
    HostLock hostLock;  // the current configuration may come from an extract plugin
    CSLogger::Batch logBatch;
    CSLogger::Log(2, "Running GetConfig in HostAPI");
    KeySchema schema = CheckSchemaExists(component, group, key);
    schemaText = schema->GetUserConfigSchema();
    if (schemaText.empty()) {
        ThrowException<ConfigManagerException>(UNSUPPORTED_CONFIG);
    }
    StoreConnection connection = ConnectStore();
    CSLogger::Log(2, "Running GetDefaultConfig in HostAPI");
    ObjectId id(key, group, component);
    TarnConfigStore::ConfigObjectList defaults =
        schema->IsMultiInstance()
            ? TarnConfigStore::GetDefaultUserConfigInstancesInternal(id, connection,
                                                                     FactsOf(schema))
            : TarnConfigStore::GetDefaultUserConfigInternal(id, connection, FactsOf(schema));
    defaultConfig = BuildConfigText(schema, defaults, true);
    currentConfig = GetCurrentConfig(component, group, key, schema, connection, true);
}

bool ValidateInputSet(const std::string& component, const std::string& group,
                      const std::string& key, const std::string& value,
                      rapidjson::Document& valueDoc, std::vector<ValidationErrorInfo>& errors) {
    CSLogger::Batch logBatch;
    CSLogger::Log(3, "Validating user input configuration.");
    if (!TarnConfigStore::ParseJsonText(value, valueDoc)) {
        ThrowException<InvalidArgumentException>(PARSE_ERROR, "Invalid Json");
    }
    if (ConfigStoreDocument::IsDocumentEmpty(valueDoc)) {
        ThrowException<InvalidArgumentException>(EMPTY_DOC, "Cannot set empty configuration");
    }
    KeySchema schema = CheckSchemaExists(component, group, key);
    std::string idText = schema->GetId().toString();
    if (schema->IsMultiInstance() && valueDoc.IsObject()) {
        ThrowException<InvalidArgumentException>(SINGLETON_ERROR, idText);
    }
    if (!schema->IsMultiInstance() && valueDoc.IsArray()) {
        ThrowException<InvalidArgumentException>(NOT_SINGLETON, idText);
    }
    rapidjson::Document found;
    found.SetArray();
    if (valueDoc.IsArray()) {
        for (const rapidjson::Value& element : valueDoc.GetArray()) {
            JsonValidator::Validate(schema->GetDefinition(), element, found, kIgnoredValidatorCodes,
                                    "");
        }
    } else {
        JsonValidator::Validate(schema->GetDefinition(), valueDoc, found, kIgnoredValidatorCodes,
                                "");
    }
    if (found.Empty()) {
        CSLogger::Log(3, "User input configuration validation successful.");
        return true;
    }
    for (const rapidjson::Value& error : found.GetArray()) {
        errors.push_back(ToValidationError(error));
    }
    return false;
}

void ValidateInputDelete(const std::string& component, const std::string& group,
                         const std::string& key) {
    CSLogger::Log(2, "Validating user input component, group and key.");
    CheckSchemaExists(component, group, key);
}

void GenerateSetDocuments(const std::string& component, const std::string& group,
                          const std::string& key, rapidjson::Document& valueDoc,
                          rapidjson::Document& desired, rapidjson::Document& current,
                          rapidjson::Document& relevant) {
    HostLock hostLock;
    CSLogger::Batch logBatch;
    CSLogger::Log(2, "Generating current and desired configuration documents");
    KeySchema schema = CheckSchemaExists(component, group, key);
    StoreConnection connection = ConnectStore();
    rapidjson::Document currentValue;
    ParseCurrent(GetCurrentConfig(component, group, key, schema, connection, false), currentValue);
    BuildKeyDocument(current, component, group, key, currentValue);
    BuildKeyDocument(desired, component, group, key, valueDoc);
    relevant.CopyFrom(desired, relevant.GetAllocator());
    CheckDependentsInDesired(ObjectId(key, group, component), connection, relevant);
}

void GenerateDeleteDocuments(const std::string& component, const std::string& group,
                             const std::string& key, rapidjson::Document& current,
                             rapidjson::Document& relevant) {
    HostLock hostLock;
    CSLogger::Batch logBatch;
    CSLogger::Log(2, "Generating current and relevant configuration documents for Delete HostAPI");
    KeySchema schema = CheckSchemaExists(component, group, key);
    StoreConnection connection = ConnectStore();
    rapidjson::Document currentValue;
    ParseCurrent(GetCurrentConfig(component, group, key, schema, connection, false), currentValue);
    if (ConfigStoreDocument::IsDocumentEmpty(currentValue)) {
        return;
    }
    BuildKeyDocument(current, component, group, key, currentValue);
    CheckDependentsInDesired(ObjectId(key, group, component), connection, relevant);
}

ImpactResult CheckImpact(rapidjson::Document& desired, const rapidjson::Document& current,
                         const std::shared_ptr<TaskHandle>& task) {
    HostLock hostLock;
    CSLogger::Batch logBatch;
    CSLogger::Log(2, "Checking Impact for HostAPIs");
    ImpactHandler handler;
    handler.SetCacheMode(ImpactHandler::kCacheUnused);
    handler.hostDocument.emplace();
    handler.hostDocument->CopyFrom(current, handler.hostDocument->GetAllocator());
    if (!handler.hostDocument->IsObject()) {
        handler.hostDocument->SetObject();
    }
    ImpactResult result = ImpactWithCustomHandler(desired, "", handler, task);
    if (!result.error.id.empty()) {
        CSLogger::Log(0, "Check Impact failed for HostAPI");
    } else if (result.compliant) {
        CSLogger::Log(3, "Host is already compliant. Nothing needs to be changed.");
    }
    return result;
}

ErrorInfo SetConfig(rapidjson::Document& desired, rapidjson::Document& current,
                    rapidjson::Document& valueDoc, const ImpactResult& impact,
                    const std::string& component, const std::string& group, const std::string& key,
                    const std::shared_ptr<TaskHandle>& task) {
    HostLock hostLock;
    CSLogger::Batch logBatch;
    CSLogger::Log(3, "Running SET Config Host API");
    RefuseWhileRebootPending();
    ErrorInfo result;
    if (ApplyNow(impact)) {
        result = ApplyHostAPIConfig(desired, current, task);
    } else {
        KeySchema schema = CheckSchemaExists(component, group, key);
        StoreConnection connection = ConnectStore();
        const std::string& schemaText = schema->GetSchemaText();
        auto store = [&](const rapidjson::Value& value) {
            TarnConfigStore::ProcessDesiredObject(valueDoc.GetAllocator(), connection, schemaText,
                                                  component, group, key, FactsOf(schema), value);
        };
        // Every instance and the boot mode, or nothing.
        TarnConfigStore::ConfigStoreTransaction transaction(connection);
        if (valueDoc.IsArray()) {
            for (const rapidjson::Value& element : valueDoc.GetArray()) {
                store(element);
            }
        } else {
            store(valueDoc);
        }
        TarnConfigStore::SetBootMode(TarnConfigStore::HOSTAPI_PENDING);
        transaction.Commit();
    }
    if (!result.id.empty()) {
        CSLogger::Log(0, "Setting configuration Failed");
    } else {
        CSLogger::Log(3, "Setting configuration Successful");
    }
    return result;
}

ErrorInfo DeleteConfig(rapidjson::Document& document, const ImpactResult& impact,
                       const std::string& component, const std::string& group,
                       const std::string& key, const std::shared_ptr<TaskHandle>& task) {
    HostLock hostLock;
    CSLogger::Batch logBatch;
    CSLogger::Log(3, "Running DELETE Config Host API");
    RefuseWhileRebootPending();
    ErrorInfo result;
    if (ApplyNow(impact)) {
        rapidjson::Document desired;
        desired.SetObject();
        result = ApplyHostAPIConfig(desired, document, task);
    } else {
        TarnConfigStore::DeleteHostAPIConfiguration(component, group, key);
    }
    CSLogger::Log(3, result.id.empty() ? "Deleting configuration Successful"
                                       : "Deleting configuration Failed");
    return result;
}

}  // namespace TarnConfigManager
