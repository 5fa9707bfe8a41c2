#include "deradidezivizoda/apply/early_bootstrap.h"

#include "apply_task_generator_access.h"
#include "deradidezivizoda/apply/apply_task_generator.h"
#include "deradidezivizoda/apply/remediate_host.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "deradidezivizoda/impact/impact.h"
#include "deradidezivizoda/impact/impact_handler.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "deradidezivizoda/validation/validate.h"
#include "impact/drift_inputs.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/json_copy.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

const std::vector<std::string> kEarlyGroups{"authentication", "network", "network_lsw"};
const std::vector<std::string> kAuthenticationGroups{"authentication"};
const std::vector<std::string> kNetworkingGroups{"network", "network_lsw"};

// Whether the schema could be generated and neither it nor a validation plugin objects.
bool ValidEarlyDocument(const rapidjson::Document& document) {
    HostDocumentSchema generated = GenerateHostDocumentSchema(document);
    const rapidjson::Document* schema = boost::get<rapidjson::Document>(&generated);
    if (!schema) {
        CSLogger::Log(0, "Failed to generate schema for early bootstrap configuration.");
        return false;
    }
    ValidationResult result;
    Validate(document, *schema, "", result, true, TaskHandle::Dummy());
    if (!result.pluginErr.id.empty() || !result.errors.empty()) {
        CSLogger::Log(0, "Found errors in early bootstrap configuration: %s",
                      result.Serialize().c_str());
        return false;
    }
    return true;
}

// 0: go on and apply; 1: stop with failure; 2: stop, the host already matches.
int CheckEarlyImpact(rapidjson::Document& desired, const rapidjson::Document& currentEarly) {
    ImpactHandler handler;
    handler.hostDocument.emplace();
    static_cast<rapidjson::Value&>(*handler.hostDocument) =
        TarnConfigStore::CopyJsonValue(currentEarly, handler.hostDocument->GetAllocator());
    ImpactResult impact = ImpactWithCustomHandler(desired, "", handler, TaskHandle::Dummy());
    if (!impact.error.id.empty()) {
        CSLogger::Log(0, "Failed to compute impact for bootstrap network document: %s",
                      impact.error.Serialize().c_str());
        return 1;
    }
    if (impact.compliant) {
        CSLogger::Log(2, "Host is compliant with bootstrap network document.");
        return 2;
    }
    if (impact.impact == REBOOT_REQUIRED) {
        CSLogger::Log(0, "Bootstrap network document cannot require RebootRequired impact.");
        return 1;
    }
    return 0;
}

// One step of the early apply: the groups of desired against the same groups of the host.
ErrorInfo RemediateGroups(const rapidjson::Document& desired, const rapidjson::Document& current,
                          const std::vector<std::string>& groups) {
    rapidjson::Document wanted = FilterGroups(desired, groups);
    return RemediateProvided(wanted, FilterGroups(current, groups));
}

}  // namespace

rapidjson::Document FilterGroups(const rapidjson::Value& document,
                                 const std::vector<std::string>& groups) {
    rapidjson::Document filtered(rapidjson::kObjectType);
    const rapidjson::Value* source = &document;
    if (document.IsObject() && document.HasMember("profile")) {
        source = &document["profile"];
    }
    if (!source->IsObject() || !source->HasMember("tarn")) {
        return filtered;
    }
    const rapidjson::Value& component = (*source)["tarn"];
    auto& allocator = filtered.GetAllocator();
    rapidjson::Value copy(rapidjson::kObjectType);
    for (const std::string& group : groups) {
        auto found =
            component.IsObject() ? component.FindMember(group.c_str()) : component.MemberEnd();
        if (component.IsObject() && found != component.MemberEnd()) {
            copy.AddMember(rapidjson::Value(group.c_str(), allocator),
                           TarnConfigStore::CopyJsonValue(found->value, allocator), allocator);
        }
    }
    filtered.AddMember("tarn", copy, allocator);
    return filtered;
}

ErrorInfo RemediateProvided(rapidjson::Document& desired, rapidjson::Document&& current) {
    CSLogger::Log(3, "Remediating provided Tarn host configuration to desired configuration.");
    CSLogger::Log(2, "Generating Apply Tasks for early bootstrap config.");
    HostLock hostLock;
    ApplyTaskGenerator generator;
    generator.hostDocument.emplace(std::move(current));
    ComputeDrift(ComparedConfiguration(desired), desired.GetAllocator(), generator);
    std::vector<DesiredConfigInput> tasks = ApplyTaskGeneratorAccess::TakeTasks(generator);
    if (tasks.empty()) {
        CSLogger::Log(1, "No tasks generated for the desired configuration.");
        return ErrorInfo();
    }
    return ExecuteApplyTasks(tasks, "", TaskHandle::Dummy(), false);
}

int ApplyEarlyBootstrapConfig(const std::string& text) {
    CSLogger::Log(2, "%s invoked.", "ApplyEarlyBootstrapConfig");
    HostLock hostLock;
    rapidjson::Document desired = ConfigStoreDocument::CreateDocument(text);
    if (!ValidEarlyDocument(desired)) {
        return 1;
    }
    rapidjson::Document currentEarly = FilterGroups(ExtractCurrentConfiguration(), kEarlyGroups);
    int impact = CheckEarlyImpact(desired, currentEarly);
    if (impact != 0) {
        return impact == 2 ? 0 : 1;
    }
    CSLogger::Log(2, "Remediating early bootstrap configurations.");
    ErrorInfo error = RemediateGroups(desired, currentEarly, kAuthenticationGroups);
    if (!error.id.empty()) {
        CSLogger::Log(0, "Error applying early authentication config: %s",
                      error.Serialize().c_str());
        return 1;
    }
    CSLogger::Log(2, "Bootstrapped early authentication config.");
    error = RemediateGroups(desired, currentEarly, kNetworkingGroups);
    if (!error.id.empty()) {
        CSLogger::Log(0, "Error applying early networking config: %s", error.Serialize().c_str());
        return 1;
    }
    CSLogger::Log(2, "Bootstrapped early networking config.");
    return 0;
}

}  // namespace TarnConfigManager
