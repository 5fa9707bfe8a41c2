#include "deradidezivizoda/apply/boot_apply.h"

#include <ctime>
#include <stdexcept>

#include "deployment_files.h"
#include "deradidezivizoda/apply/remediate_host.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "deradidezivizoda/impact/impact.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "deradidezivizoda/validation/validate.h"
#include "desired_document.h"
#include "impact/drift_inputs.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/config_store.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/sablectl/feature_state.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

namespace {

// The document is valid: its schema could be generated and neither it nor a plugin objects.
bool ValidBootDocument(const rapidjson::Document& document) {
    HostDocumentSchema generated = GenerateHostDocumentSchema(document);
    const rapidjson::Document* schema = boost::get<rapidjson::Document>(&generated);
    if (!schema) {
        CSLogger::Log(0, "Failed to generate schema for boot document");
        return false;
    }
    CSLogger::Log(2, "Generated host configuration document schema.");
    ValidationResult result;
    Validate(document, *schema, "", result, true, TaskHandle::Dummy());
    if (!result.pluginErr.id.empty() || !result.errors.empty()) {
        CSLogger::Log(0, "Failed to validate boot configuration document");
        return false;
    }
    CSLogger::Log(2, "Validated host configuration document.");
    return true;
}

std::shared_ptr<TarnConfigStore::ConfigStore> GlobalStore() {
    auto store = TarnConfigStore::ConfigStore::GetStore(TarnConfigStore::sGlobalNamespace);
    if (!store) {
        throw std::runtime_error("Failed to access ConfigStore.");
    }
    return store;
}

// Stores the document and the deployment files in one transaction; the files leave the disk
// only once it has committed (and come back when it fails).
int PreserveForReboot(const rapidjson::Document& document) {
    try {
        auto store = GlobalStore();
        // What a bootstrap killed halfway left behind is settled before this one starts.
        RecoverDeploymentFiles(*store);
        TarnConfigStore::ConfigStoreTransaction transaction(store);
        StoreDesiredDocument(document);
        DeploymentFilesHandover handover;
        handover.Preserve();
        transaction.Commit();
        handover.Finish();
    } catch (const std::exception& error) {
        CSLogger::Log(0, "Failed to bootstrap host error=%s", error.what());
        return 1;
    }
    CSLogger::Log(2,
                  "ApplyConfig updated the host with the desired configuration document, host "
                  "must be rebooted for it to take effect.");
    return 0;
}

int RemediateNow(rapidjson::Document& document) {
    CSLogger::Log(2, "Remediating with host configuration document.");
    ErrorInfo error = RemediateHost(document, "", TaskHandle::Dummy(), false);
    if (!error.id.empty()) {
        CSLogger::Log(0, "Failed to boostrap host with configuration.");
        return 1;
    }
    CSLogger::Log(2, "Host boostrap with configuration successful.");
    return 0;
}

[[noreturn]] void ThrowMalformedState(const char* what) {
    std::string message = std::string("Boot apply state: ") + what;
    throw TarnConfigStore::ConfigStoreException(TarnConfigStore::kStoreJsonError, message.c_str());
}

// Whether the boot is complete, and its record, from the store's boot apply state.
bool ReadBootApplyState(std::string& record) {
    rapidjson::Document state;
    if (!TarnConfigStore::ParseJsonText(TarnConfigStore::getBootApplyRecord(), state) ||
        !state.IsObject()) {
        ThrowMalformedState("not a JSON object");
    }
    auto complete = state.FindMember("isBootComplete");
    if (complete == state.MemberEnd() || !complete->value.IsBool()) {
        ThrowMalformedState("\"isBootComplete\" is missing or not a boolean");
    }
    auto text = state.FindMember("bootApplyRecord");
    if (text != state.MemberEnd() && text->value.IsString()) {
        record = text->value.GetString();
    }
    rapidjson::Document parsed;
    if (complete->value.GetBool() && !record.empty() &&
        !TarnConfigStore::ParseJsonText(record, parsed)) {
        ThrowMalformedState("the boot apply record is not JSON");
    }
    return complete->value.GetBool();
}

const rapidjson::Value& ObjectMember(const rapidjson::Value::ConstMemberIterator& member) {
    if (!member->name.IsString() || !member->value.IsObject()) {
        throw TarnConfigStore::ConfigStoreException(
            TarnConfigStore::kStoreJsonError, "Boot document: a component or group is malformed");
    }
    return member->value;
}

void AddKeyTasks(const rapidjson::Value& value, const std::string& component,
                 const std::string& group, const std::string& key,
                 const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema,
                 std::vector<DesiredConfigInput>& tasks) {
    if (!schema->IsMultiInstance()) {
        TarnConfigStore::ConfigStoreObjectId id(key, group, component);
        tasks.push_back(
            {TarnConfigStore::CreateObject(id, value, schema, std::nullopt), nullptr, "SET", {}});
        return;
    }
    for (const rapidjson::Value& instance : value.GetArray()) {
        auto instanceId = instance.FindMember(schema->GetInstanceKey().c_str());
        std::string name = instanceId != instance.MemberEnd() && instanceId->value.IsString()
                               ? instanceId->value.GetString()
                               : "";
        TarnConfigStore::ConfigStoreObjectId id(key, group, component, name);
        tasks.push_back({TarnConfigStore::CreateObject(id, instance, schema, std::nullopt),
                         nullptr,
                         "ADD",
                         {}});
    }
}

}  // namespace

int ApplyBootDocument(const std::string& path) {
    CSLogger::Log(2, "Bootstrap host using configuration document {%s}", path.c_str());
    HostLock hostLock;  // from the impact to the hand-over or the last apply plugin
    rapidjson::Document document;
    CreateDocumentFromFile(path.c_str(), document);
    if (!ValidBootDocument(document)) {
        return 1;
    }
    ImpactResult impact = Impact(document, "", TaskHandle::Dummy());
    if (!impact.error.id.empty()) {
        CSLogger::Log(0, "Failed to compute impact for host configuration document");
        return 1;
    }
    if (impact.impact == REBOOT_REQUIRED) {
        return PreserveForReboot(document);
    }
    return RemediateNow(document);
}

void ExecuteBootPlugins() {
    HostLock hostLock;
    FeatureState_InitSilentMode();
    auto store = GlobalStore();
    RecoverDeploymentFiles(*store);
    RestoreDeploymentFiles(*store);
    rapidjson::Document desired = ExtractDesiredConfiguration();
    ErrorInfo error;
    // With nothing stored the host keeps what it has: an empty document would delete every
    // key a boot-capable plugin serves.
    if (desired.IsObject() && desired.MemberCount() == 0) {
        CSLogger::Log(2, "No desired configuration is stored: nothing to apply at boot.");
    } else {
        error = RemediateHost(desired, "", TaskHandle::Dummy(), true);
    }
    if (!error.id.empty()) {
        CSLogger::Log(0, "Failed to apply boot-time configuration errId=%s", error.id.c_str());
    }
    TarnConfigStore::setBootApplyRecord(BootApplyErrorInfo(time(nullptr), error).Serialize());
}

BootApplyInfo GetBootApplyInfo() {
    CSLogger::Log(2, "%s invoked", "GetBootApplyInfo");
    BootApplyInfo info;
    std::string recordText;
    if (!ReadBootApplyState(recordText)) {
        info.status = BOOT_APPLY_NOT_COMPLETE;
        return info;
    }
    BootApplyErrorInfo record;
    if (!recordText.empty()) {
        record.Deserialize(recordText);
    }
    if (!record.error.id.empty()) {
        CSLogger::Log(0, "Detected failure during boot-time apply. ErrId: %s",
                      record.error.id.c_str());
        info.failures.push_back(record);
    }
    std::vector<TarnConfigStore::BootRestoreFailure> restores =
        TarnConfigStore::GetBootTimeRestoreFailures();
    info.status = info.failures.empty() && restores.empty() ? BOOT_APPLY_OK : BOOT_APPLY_FAILED;
    for (const TarnConfigStore::BootRestoreFailure& failure : restores) {
        CSLogger::Log(0,
                      "Failed to apply configuration during boot for component: %s, group: %s "
                      "and key: %s",
                      failure.component.c_str(), failure.group.c_str(), failure.key.c_str());
        info.failures.emplace_back(
            time(nullptr),
            ErrorInfo(kBootRestoreFailed, {failure.component, failure.group, failure.key}));
    }
    return info;
}

std::vector<DesiredConfigInput> GenerateBootTimeTasks(const rapidjson::Document& document) {
    std::shared_ptr<TarnSchemaStore::SchemaStore> schemas =
        TarnSchemaStore::SchemaStore::GetStore();
    if (!schemas) {
        ThrowException<ConfigManagerException>(SCHEMA_STORE_ERROR);
    }
    const rapidjson::Value* source = &document;
    if (document.IsObject() && document.HasMember("profile")) {
        source = &document["profile"];
    }
    std::vector<DesiredConfigInput> tasks;
    for (auto component = source->MemberBegin(); component != source->MemberEnd(); ++component) {
        for (auto group = ObjectMember(component).MemberBegin();
             group != component->value.MemberEnd(); ++group) {
            for (auto key = ObjectMember(group).MemberBegin(); key != group->value.MemberEnd();
                 ++key) {
                std::string c = component->name.GetString();
                std::string g = group->name.GetString();
                std::string k = key->name.GetString();
                auto schema = TarnSchemaStore::GetSchema(c, g, k, schemas);
                std::string idText = TarnConfigStore::ConfigStoreObjectId(k, g, c).toString();
                if (!schema) {
                    CSLogger::Log(0, "Schema not found for %s:%s:%s", c.c_str(), g.c_str(),
                                  k.c_str());
                    ThrowException<ConfigManagerException>(SCHEMA_NOT_FOUND, idText);
                }
                CSLogger::Log(2, "Remediating configuration for %s", idText.c_str());
                AddKeyTasks(key->value, c, g, k, schema, tasks);
            }
        }
    }
    return tasks;
}

}  // namespace TarnConfigManager
