#include "deradidezivizoda/validation/validate.h"

#include <iterator>
#include <optional>
#include <unordered_set>
#include <vector>

#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/plugin.h"
#include "deradidezivizoda/plugins/plugin_manager.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "deradidezivizoda/plugins/plugin_request.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "plugins/plugin_run_loop.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/schemastore/schema_store.h"
#include "tarn/validator/json_validator.h"
#include "validation/config_objects.h"
#include "validation/duplicate_findings.h"
#include "validation/validation_errors.h"

namespace TarnConfigManager {

namespace {

using ObjectList = std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>;

const char kPluginStarted[] = "com.corvid.tarn.settings.validation.plugin.started";
const char kPluginFinished[] = "com.corvid.tarn.settings.validation.plugin.finished";
const char kPluginAborted[] = "com.corvid.tarn.settings.validation.plugin.aborted";

// Share of the progress the schema phase stands for; the plugins share the rest.
constexpr float kSchemaPhaseProgress = 20.0f;

// The validator codes handed to every document validation (see docs/validator.md).
const std::unordered_set<int>& DocumentCodeSet() {
    static const std::unordered_set<int> codes{0, 1, 3, 7, 8, 11};
    return codes;
}

const rapidjson::Value& ValidatedValue(const rapidjson::Document& document) {
    auto profile = document.FindMember("profile");
    return profile == document.MemberEnd() ? document : profile->value;
}

void RunSchemaPhase(const rapidjson::Value& schema, const rapidjson::Value& value,
                    ValidationErrorMap& errorMap, FailedObjectSet& failedObjects) {
    rapidjson::Document errors;
    JsonValidator::ValidateCMDocument(schema, value, errors, DocumentCodeSet(), "");
    CollectValidationErrors(errors, errorMap, failedObjects);
}

bool AnyFailed(const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids,
               const FailedObjectSet& failedObjects) {
    for (const auto& id : ids) {
        if (failedObjects.count(id)) {
            return true;
        }
    }
    return false;
}

// Files each plugin entry under its path, after the messages the path already has.
void MergePluginErrors(std::vector<ValidationErrorInfo>& errors, ValidationErrorMap& errorMap) {
    for (ValidationErrorInfo& entry : errors) {
        auto found = errorMap.find(entry.path);
        if (found == errorMap.end()) {
            std::string path = entry.path;
            errorMap.emplace(std::move(path), std::move(entry));
            continue;
        }
        auto& messages = found->second.messages;
        messages.insert(messages.end(), std::make_move_iterator(entry.messages.begin()),
                        std::make_move_iterator(entry.messages.end()));
    }
}

const PluginRunMessages kValidationRun{"Validation", kPluginStarted, kPluginFinished,
                                       kPluginAborted, false};

// The plugin's turn, or nothing when it sits this document out: one of its objects failed
// already, or the document holds none of them.
std::optional<PluginTurn> TurnOf(const std::shared_ptr<Plugin>& plugin,
                                 const rapidjson::Value& value,
                                 const FailedObjectSet& failedObjects,
                                 const std::string& clusterContext,
                                 const std::shared_ptr<PluginMonitor>& monitor,
                                 ValidationErrorMap& errorMap) {
    const auto ids = plugin->GetCSOIdList();
    if (AnyFailed(ids, failedObjects)) {
        return std::nullopt;
    }
    auto cache = TarnSchemaStore::SchemaStore::GetCache();
    auto objects = std::make_shared<ObjectList>();
    CollectConfigObjects(*objects, value, ids, cache);
    if (objects->empty()) {
        return std::nullopt;
    }
    auto references = std::make_shared<ObjectList>();
    CollectConfigObjects(*references, value, plugin->GetReferences(), cache);
    return PluginTurn{plugin->GetId(), [=, &clusterContext, &errorMap] {
                          auto pluginResult =
                              plugin->Validate(*objects, *references, clusterContext, monitor);
                          if (pluginResult.pluginErr.id.empty()) {
                              MergePluginErrors(pluginResult.errors, errorMap);
                          }
                          return pluginResult.pluginErr;
                      }};
}

}  // namespace

void Validate(const rapidjson::Document& document, const rapidjson::Document& schema,
              const std::string& clusterContext, ValidationResult& result, bool validateSchema,
              std::shared_ptr<TaskHandle> task) {
    CSLogger::Log(3, "ConfigManager Validate API invoked");
    CheckClusterContext(clusterContext);
    HostLock hostLock;
    const rapidjson::Value& value = ValidatedValue(document);
    ValidationErrorMap errorMap;
    FailedObjectSet failedObjects;
    if (validateSchema) {
        RunSchemaPhase(schema, value, errorMap, failedObjects);
    }
    CollectDuplicates(value, errorMap, failedObjects);
    task->UpdateProgress(kSchemaPhaseProgress);

    PluginManager manager(VALIDATE);
    const auto plugins = manager.GetPlugins();
    auto monitor = std::make_shared<TaskPluginMonitor>(task);
    auto idOf = [](const std::shared_ptr<Plugin>& plugin) { return plugin->GetId(); };
    auto turnOf = [&](const std::shared_ptr<Plugin>& plugin) {
        return TurnOf(plugin, value, failedObjects, clusterContext, monitor, errorMap);
    };
    ErrorInfo error = RunPluginLoop(*task, kValidationRun, plugins.size(), plugins, idOf, turnOf);
    if (!error.id.empty()) {
        result.pluginErr = std::move(error);
        return;
    }
    for (ValidationErrorInfo& entry : TakeErrorList(errorMap)) {
        result.errors.push_back(std::move(entry));
    }
}

}  // namespace TarnConfigManager
