// The four plugin operations. Each writes the request, runs the runner and reads the result
// file under the host lock; a failed run never throws but comes back in the result's
// ErrorInfo, so that callers can report it per plugin and decide whether to go on.
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/plugin.h"
#include "deradidezivizoda/plugins/plugin_launcher.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"
#include "tarn/pluginsupport/extract_plugin_result.h"
#include "tarn/pluginsupport/impact_plugin_result.h"
#include "tarn/pluginsupport/validation_plugin_result.h"

namespace TarnConfigManager {

namespace {

// What sets the operations apart when a run fails.
struct Operation {
    const char* name;          // written to the request's "type"
    const char* abortedId;     // message id of an aborted run
    const char* unexpectedId;  // message id of any other failed run
    const char* failedKind;    // "Extract" or "Validation": logs "<kind> plugin %s failed"
    bool logsResultId;         // impact logs ">> Module result id=%s"
};

const Operation kApply{"APPLY", "com.corvid.tarn.settings.apply.plugin.aborted",
                       "com.corvid.tarn.settings.apply.plugin.unexpected.error", nullptr, false};
const Operation kImpact{"IMPACT", "com.corvid.tarn.settings.impact.plugin.aborted",
                        "com.corvid.tarn.settings.impact.plugin.unexpected.error", nullptr, true};
const Operation kExtract{"EXTRACT", "com.corvid.tarn.settings.extract.plugin.aborted",
                         "com.corvid.tarn.settings.extract.plugin.unexpected.error", "Extract",
                         false};
const Operation kValidate{"VALIDATE", "com.corvid.tarn.settings.validation.plugin.aborted",
                          "com.corvid.tarn.settings.validation.plugin.unexpected.error",
                          "Validation", false};

ErrorInfo& RunError(ErrorInfo& result) {
    return result;
}
ErrorInfo& RunError(ImpactPluginResult& result) {
    return result.error;
}
ErrorInfo& RunError(ExtractPluginResult& result) {
    return result.error;
}
ErrorInfo& RunError(ValidationPluginResult& result) {
    return result.pluginErr;
}

// Every message of a result carries the schema text of the plugin's key.
template <typename Result>
void SetSchemaText(Result& result, const std::string& schemaText) {
    RunError(result).message = schemaText;
}

void SetSchemaText(ValidationPluginResult& result, const std::string& schemaText) {
    result.pluginErr.message = schemaText;
    for (ValidationErrorInfo& invalid : result.errors) {
        for (ErrorInfo& message : invalid.messages) {
            message.message = schemaText;
        }
    }
}

void LogResultId(const Operation& op, const ErrorInfo& error) {
    if (op.logsResultId) {
        CSLogger::Log(2, ">> Module result id=%s", error.id.c_str());
    }
}

template <typename Result>
void LoadResult(const char* path, Result& result) {
    result = Result::Load(path);
}

void LoadResult(const char* path, ImpactPluginResult& result) {
    ImpactPluginResult::LoadInto(path, result);
}

// One run of the operation's request around inputs into result, which starts empty. The
// launcher is gone (files removed, time logged) before the result is looked at or a failure
// handled.
template <typename Result, typename... Inputs>
void RunInto(Result& result, const Plugin& plugin, const Operation& op,
             const std::string& clusterContext, std::shared_ptr<PluginMonitor> monitor,
             const Inputs&... inputs) {
    if (!monitor) {
        monitor = PluginMonitor::Dummy();
    }
    try {
        {
            // Held until the launcher has removed both fixed files.
            HostLock hostLock;
            PluginLauncher launcher(plugin.GetId(), static_cast<int>(plugin.GetVersion()), op.name,
                                    inputs..., plugin.GetType(), plugin.GetModule());
            launcher.Dump(TarnPaths::kPluginInputFile, monitor->GetTaskId(), clusterContext);
            launcher.ForkPlugin(monitor);
            LoadResult(TarnPaths::kPluginOutputFile, result);
            SetSchemaText(result, plugin.GetSchemaText());
        }
        LogResultId(op, RunError(result));
    } catch (const std::exception& e) {
        CSLogger::Log(0, "%s", e.what());
        ErrorInfo& error = RunError(result);
        LogResultId(op, error);
        if (error.id.empty()) {
            if (op.failedKind) {
                CSLogger::Log(0, "%s plugin %s failed", op.failedKind, plugin.GetModule().c_str());
            }
            error.id = monitor->IsAborted() ? op.abortedId : op.unexpectedId;
            error.args = {plugin.GetId()};
        }
    }
}

template <typename Result, typename... Inputs>
Result Run(const Plugin& plugin, const Operation& op, const std::string& clusterContext,
           std::shared_ptr<PluginMonitor> monitor, const Inputs&... inputs) {
    Result result;
    RunInto(result, plugin, op, clusterContext, std::move(monitor), inputs...);
    return result;
}

}  // namespace

ErrorInfo Plugin::Apply(const std::vector<DesiredConfigInput>& inputs,
                        const std::string& clusterContext,
                        std::shared_ptr<PluginMonitor> monitor) const {
    return Run<ErrorInfo>(*this, kApply, clusterContext, std::move(monitor), inputs);
}

ImpactPluginResult Plugin::Impact(const std::vector<DesiredConfigInput>& inputs,
                                  const std::string& clusterContext,
                                  std::shared_ptr<PluginMonitor> monitor) const {
    return Run<ImpactPluginResult>(*this, kImpact, clusterContext, std::move(monitor), inputs);
}

void Plugin::Impact(const std::vector<DesiredConfigInput>& inputs,
                    const std::string& clusterContext, std::shared_ptr<PluginMonitor> monitor,
                    ImpactPluginResult& result) const {
    result.error = ErrorInfo();
    result.impacts.clear();
    RunInto(result, *this, kImpact, clusterContext, std::move(monitor), inputs);
}

ExtractPluginResult Plugin::Extract(const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids,
                                    const std::string& clusterContext,
                                    std::shared_ptr<PluginMonitor> monitor) const {
    return Run<ExtractPluginResult>(*this, kExtract, clusterContext, std::move(monitor), ids);
}

ValidationPluginResult Plugin::Validate(
    const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& objects,
    const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& references,
    const std::string& clusterContext, std::shared_ptr<PluginMonitor> monitor) const {
    return Run<ValidationPluginResult>(*this, kValidate, clusterContext, std::move(monitor),
                                       objects, references);
}

}  // namespace TarnConfigManager
