// The execution of apply tasks that ExecuteApplyTasks and the single-key apply share: one
// apply plugin manager groups the tasks by task key and runs them in dependency order through
// the plugin-run loop. Private to the library; the caller's thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/plugins/plugin_request.h"

namespace TarnConfigManager {

class TaskHandle;

// What a changed object whose key has no apply plugin means: a warning notification
// (kApplyPluginAbsent) and the other objects go on, or APPLY_PLUGIN_ABSENT (2085) thrown
// before any plugin runs.
enum class AbsentApplyPlugin { kWarn, kRefuse };

// The tasks are taken over: a caller that keeps its own passes a copy.
ErrorInfo RunApplyTasks(std::vector<DesiredConfigInput> tasks, const std::string& clusterContext,
                        const std::shared_ptr<TaskHandle>& task, bool boot,
                        AbsentApplyPlugin absent);

}  // namespace TarnConfigManager
