#include "deradidezivizoda/apply/remediate_host.h"

#include <list>
#include <unordered_map>
#include <unordered_set>

#include "apply_task_generator_access.h"
#include "apply_tasks.h"
#include "core/store_call.h"
#include "deradidezivizoda/apply/apply_task_generator.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/impact/impact_handler.h"
#include "deradidezivizoda/impact/task_map.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/plugin_manager.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "deradidezivizoda/plugins/plugin_request.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "plugins/plugin_lookup.h"
#include "plugins/plugin_run_loop.h"
#include "tarn/configstore/db_store.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

using TaskKeyMap = std::unordered_map<std::string, TaskMap>;

void Warn(TaskHandle& task, const char* id, const std::list<std::string>& args) {
    task.AddNotification()->PluginWarning(id, args);
}

// What GroupTasks needs of a plugin for one operation, worked out once per plugin and
// operation rather than once per object: its id, whether it may run at boot, its task key and
// where that key's work gathers.
struct PluginTarget {
    const Plugin* plugin;
    std::string operation;
    std::string pluginId;
    bool bootCapable;
    std::string key;
    TaskMap* work = nullptr;
};

PluginTarget& TargetOf(std::vector<PluginTarget>& targets, const std::shared_ptr<Plugin>& plugin,
                       const std::string& operation) {
    for (PluginTarget& target : targets) {
        if (target.plugin == plugin.get() && target.operation == operation) {
            return target;
        }
    }
    targets.push_back({plugin.get(), operation, plugin->GetId(), plugin->CheckType(APPLY_BOOT),
                       ApplyTaskKey(*plugin, operation)});
    return targets.back();
}

// Gives each task to every apply plugin of its key, under the plugin's task key. The tasks are
// moved out (copied only for a second plugin).
TaskKeyMap GroupTasks(PluginManager& plugins, std::vector<DesiredConfigInput>& tasks, bool boot,
                      AbsentApplyPlugin absent, TaskHandle& handle) {
    TaskKeyMap taskMap;
    std::vector<PluginTarget> targets;
    for (DesiredConfigInput& task : tasks) {
        const TarnConfigStore::ConfigStoreObjectId& id = task.object->GetConfigStoreObjectId();
        std::string idText = id.toString();
        std::vector<std::shared_ptr<Plugin>> found = PluginLookup::Find(plugins, id, idText);
        if (found.empty()) {
            CSLogger::Log(1, "Plugin not present for %s", idText.c_str());
            if (absent == AbsentApplyPlugin::kRefuse) {
                ThrowException<ConfigManagerException>(APPLY_PLUGIN_ABSENT, idText);
            }
            Warn(handle, kApplyPluginAbsent, {ImpactHandler::CacheKeyOf(id)});
        }
        TaskMap* last = nullptr;  // the last work the task goes to takes it
        for (const std::shared_ptr<Plugin>& plugin : found) {
            PluginTarget& target = TargetOf(targets, plugin, task.operation);
            const char* pluginId = target.pluginId.c_str();
            if (boot && !target.bootCapable) {
                CSLogger::Log(0, "Plugin=%s does not support boot-time remediation for csoid=%s",
                              pluginId, idText.c_str());
                continue;
            }
            CSLogger::Log(3, "Found plugin=%s for cso=%s", pluginId, idText.c_str());
            CSLogger::Log(3, "Adding key=%s for plugin=%s", target.key.c_str(), pluginId);
            if (!target.work) {
                target.work = &taskMap.try_emplace(target.key, TaskMap{plugin, {}}).first->second;
            }
            if (last) {
                last->inputs.push_back(task);
            }
            last = target.work;
        }
        if (last) {
            last->inputs.push_back(std::move(task));
        }
    }
    return taskMap;
}

const PluginRunMessages kApplyRun{"Apply", kApplyPluginStarted, kApplyPluginFinished,
                                  kApplyPluginAborted, true};

// Work under a task key that no apply operation provides never runs: said per object, since
// the caller would otherwise take the change for applied.
void WarnUnordered(TaskHandle& task, const TaskKeyMap& taskMap,
                   const std::vector<std::string>& order) {
    std::unordered_set<std::string> names(order.begin(), order.end());
    for (const auto& entry : taskMap) {
        if (names.count(entry.first)) {
            continue;
        }
        for (const DesiredConfigInput& input : entry.second.inputs) {
            const TarnConfigStore::ConfigStoreObjectId& id = input.object->GetConfigStoreObjectId();
            CSLogger::Log(1, "No apply operation provides %s: %s is not applied",
                          entry.first.c_str(), id.toString().c_str());
            Warn(task, kApplyPluginUnordered, {entry.first, ImpactHandler::CacheKeyOf(id)});
        }
    }
}

}  // namespace

std::string ApplyTaskKey(const Plugin& plugin, const std::string& operation) {
    return (plugin.GetVersion() == 3 ? std::string("REMEDIATE") : operation) + ":" + plugin.GetId();
}

ErrorInfo RunApplyTasks(std::vector<DesiredConfigInput> tasks, const std::string& clusterContext,
                        const std::shared_ptr<TaskHandle>& task, bool boot,
                        AbsentApplyPlugin absent) {
    HostLock hostLock;
    PluginManager plugins(APPLY);
    TaskKeyMap taskMap = GroupTasks(plugins, tasks, boot, absent, *task);
    task->UpdateProgress(20.0f);
    auto monitor = std::make_shared<TaskPluginMonitor>(task);
    const std::vector<std::string> order = plugins.GetDependencies();
    auto nameOf = [](const std::string& name) { return name; };
    auto turnOf = [&](const std::string& name) -> std::optional<PluginTurn> {
        auto entry = taskMap.find(name);
        if (entry == taskMap.end()) {
            return std::nullopt;
        }
        CSLogger::Log(3, "Found match for dependency %s", name.c_str());
        const TaskMap& work = entry->second;
        return PluginTurn{work.plugin->GetId(),
                          [&] { return work.plugin->Apply(work.inputs, clusterContext, monitor); }};
    };
    ErrorInfo error = RunPluginLoop(*task, kApplyRun, taskMap.size(), order, nameOf, turnOf);
    if (!error.id.empty()) {
        return error;
    }
    WarnUnordered(*task, taskMap, order);
    CSLogger::Log(3, "Tarn host remediated successfully.");
    return ErrorInfo();
}

ErrorInfo ExecuteApplyTasks(const std::vector<DesiredConfigInput>& tasks,
                            const std::string& clusterContext, std::shared_ptr<TaskHandle> task,
                            bool boot) {
    return RunApplyTasks(tasks, clusterContext, task, boot, AbsentApplyPlugin::kWarn);
}

ErrorInfo RemediateHost(rapidjson::Document& document, const std::string& clusterContext,
                        std::shared_ptr<TaskHandle> task, bool boot) {
    CheckClusterContext(clusterContext);
    CSLogger::Batch logBatch;
    HostLock hostLock;
    CSLogger::Log(3, "Remediating Tarn host to desired configuration (boot=%d).", boot ? 1 : 0);
    auto connection = HoldStoreForCall();
    // The tasks live only in this call, while document does: their objects view its values.
    std::vector<DesiredConfigInput> tasks = ApplyTaskGeneratorAccess::TasksViewing(document);
    if (tasks.empty()) {
        CSLogger::Log(1, "No tasks generated for the desired configuration.");
        return ErrorInfo();
    }
    return RunApplyTasks(std::move(tasks), clusterContext, task, boot, AbsentApplyPlugin::kWarn);
}

}  // namespace TarnConfigManager
