// RemediateHost: brings the host to a desired document now. It generates the apply tasks,
// groups them by plugin (and, before manifest version 3, by operation) and runs the apply
// plugins one after another in the plugin manager's dependency order, reporting progress and
// notifications to the task. Plugin failures and aborts are returned, not thrown; plugins
// already run are not undone. Caller's thread; the task may also be polled by a plugin run's
// monitor thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/export.h"
#include "deradidezivizoda/plugins/plugin_request.h"

namespace TarnConfigManager {

class Plugin;
class TaskHandle;

// Message ids of the apply plugin runs, reported as notifications and errors.
inline constexpr const char kApplyPluginStarted[] = "com.corvid.tarn.settings.apply.plugin.started";
inline constexpr const char kApplyPluginFinished[] =
    "com.corvid.tarn.settings.apply.plugin.finished";
inline constexpr const char kApplyPluginAborted[] = "com.corvid.tarn.settings.apply.plugin.aborted";
// Warnings for a changed object that no plugin applied: its key has no apply plugin (argument:
// the object's name, "component:group:key:instance"), or its plugin's task key is no name of
// the dependency order, that is no apply operation provides it (arguments: the task key, the
// object's name).
inline constexpr const char kApplyPluginAbsent[] = "com.corvid.tarn.settings.apply.plugin.absent";
inline constexpr const char kApplyPluginUnordered[] =
    "com.corvid.tarn.settings.apply.plugin.unordered";

// boot: only plugins with boot-time support apply (the others are logged and skipped).
// An empty ErrorInfo id means success, also when there was nothing to do.
TARN_EXPORT ErrorInfo RemediateHost(rapidjson::Document& document,
                                    const std::string& clusterContext,
                                    std::shared_ptr<TaskHandle> task, bool boot);

// The task key under which plugin applies changes of operation ("ADD", "SET", "DELETE"):
// "REMEDIATE:<plugin id>" for manifest version 3, "<operation>:<plugin id>" otherwise.
TARN_EXPORT std::string ApplyTaskKey(const Plugin& plugin, const std::string& operation);

// Runs tasks through the apply plugins. The task key of a plugin's work is
// "REMEDIATE:<plugin id>" for manifest version 3, "<operation>:<plugin id>" otherwise; only
// keys that are names in the dependency order are run.
TARN_EXPORT ErrorInfo ExecuteApplyTasks(const std::vector<DesiredConfigInput>& tasks,
                                        const std::string& clusterContext,
                                        std::shared_ptr<TaskHandle> task, bool boot);

}  // namespace TarnConfigManager
