#include "deradidezivizoda/impact/impact.h"

#include "core/store_call.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "deradidezivizoda/impact/impact_handler.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "deradidezivizoda/plugins/plugin_request.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "impact/drift_inputs.h"
#include "impact/impact_handler_access.h"
#include "plugins/plugin_run_loop.h"
#include "tarn/configstore/db_store.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/pluginsupport/impact_plugin_result.h"

namespace TarnConfigManager {

namespace {

// What the impact plugins said, over all of them.
struct PluginVerdicts {
    bool reboot = false;
    bool maintenanceMode = false;
    bool quickBootCapable = true;

    void Add(const std::string& pluginId, const ImpactPluginInfo& info) {
        CSLogger::Log(3, "Impact: Plugin=%s, impact=%d (%s:%s:%s:%s)", pluginId.c_str(),
                      static_cast<int>(info.impact), info.component.c_str(), info.group.c_str(),
                      info.key.c_str(), info.instanceId.c_str());
        reboot = reboot || info.impact == REBOOT_REQUIRED;
        maintenanceMode = maintenanceMode || info.impact == MAINTENANCE_MODE_REQUIRED;
        quickBootCapable = quickBootCapable && info.quickBootCapable;
    }
};

const PluginRunMessages kImpactRun{"Impact", kImpactPluginStarted, kImpactPluginFinished,
                                   kImpactPluginAborted, true};

// Verdicts of one run each thread keeps room for between runs: a list of a thousand takes
// 144 KB, which freed and taken again every run costs a page fault per page.
constexpr size_t kKeptVerdicts = 16384;

// One impact plugin's run; its verdicts count only when it succeeded.
ErrorInfo RunImpactPlugin(const std::string& pluginId, const TaskMap& work,
                          const std::string& clusterContext,
                          const std::shared_ptr<PluginMonitor>& monitor, PluginVerdicts& verdicts) {
    thread_local ImpactPluginResult answer;
    work.plugin->Impact(work.inputs, clusterContext, monitor, answer);
    if (answer.error.id.empty()) {
        for (const ImpactPluginInfo& info : answer.impacts) {
            verdicts.Add(pluginId, info);
        }
    }
    ErrorInfo error = std::move(answer.error);
    if (answer.impacts.capacity() > kKeptVerdicts) {
        answer = ImpactPluginResult();
    } else {
        answer.impacts.clear();
    }
    return error;
}

// Runs each plugin of the handler's map once. Returns false, with result.error set, when a
// plugin failed or the task was aborted; later plugins do not run then.
bool RunImpactPlugins(ImpactHandler& handler, const std::string& clusterContext,
                      const std::shared_ptr<TaskHandle>& task,
                      const std::shared_ptr<PluginMonitor>& monitor, PluginVerdicts& verdicts,
                      ImpactResult& result) {
    using Entry = ImpactHandler::PluginMap::value_type;
    const ImpactHandler::PluginMap& plugins = ImpactHandlerAccess::PluginMapView(handler);
    auto pluginIdOf = [](const Entry& entry) { return entry.first; };
    auto turnOf = [&](const Entry& entry) -> std::optional<PluginTurn> {
        CSLogger::Log(3, "Invoking plugin: %s", entry.first.c_str());
        return PluginTurn{entry.first, [&] {
                              return RunImpactPlugin(entry.first, entry.second, clusterContext,
                                                     monitor, verdicts);
                          }};
    };
    result.error = RunPluginLoop(*task, kImpactRun, plugins.size(), plugins, pluginIdOf, turnOf);
    return result.error.id.empty();
}

// The handler's and the plugins' verdicts as one impact, led by its summary message.
void CombineVerdicts(const ImpactHandler& handler, const PluginVerdicts& verdicts,
                     ImpactResult& result) {
    for (const ImpactInfo& info : handler.GetImpactInfo()) {
        result.impactInfo.push_back(info);
    }
    if (verdicts.reboot || handler.GetRebootRequired()) {
        result.impact = REBOOT_REQUIRED;
        result.impactInfo.push_front({kImpactInfoReboot, {}});
    } else if (verdicts.maintenanceMode || handler.GetMaintenanceModeRequired()) {
        result.impact = MAINTENANCE_MODE_REQUIRED;
        result.impactInfo.push_front({kImpactInfoMaintenanceMode, {}});
    }
    result.quickBootStatus =
        verdicts.quickBootCapable ? FetchQuickBootStatus() : QUICK_BOOT_UNSUPPORTED;
}

}  // namespace

ImpactResult ImpactWithCustomHandler(rapidjson::Document& desired,
                                     const std::string& clusterContext, ImpactHandler& handler,
                                     std::shared_ptr<TaskHandle> task) {
    CheckClusterContext(clusterContext);
    CSLogger::Batch logBatch;
    HostLock hostLock;
    // Refuses an empty task before any work is done.
    auto monitor = std::make_shared<TaskPluginMonitor>(task);
    auto connection = HoldStoreForCall();
    ImpactResult result;
    ComputeDrift(ComparedConfiguration(desired), desired.GetAllocator(), handler);
    task->UpdateProgress(20.0f);
    PluginVerdicts verdicts;
    if (!RunImpactPlugins(handler, clusterContext, task, monitor, verdicts, result)) {
        return result;
    }
    result.compliant = handler.GetCompliant();
    if (!result.compliant) {
        CombineVerdicts(handler, verdicts, result);
    }
    return result;
}

ImpactResult Impact(rapidjson::Document& desired, const std::string& clusterContext,
                    std::shared_ptr<TaskHandle> task) {
    ImpactHandler handler;
    ImpactHandlerAccess::ViewDesiredValues(handler);  // it dies before desired
    return ImpactWithCustomHandler(desired, clusterContext, handler, std::move(task));
}

}  // namespace TarnConfigManager
