#include "deradidezivizoda/plugins/plugin_monitor.h"

#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/plugins/task_handle.h"

namespace TarnConfigManager {

PluginMonitor::~PluginMonitor() = default;

bool PluginMonitor::IsAborted() {
    return false;
}

std::string PluginMonitor::GetTaskId() {
    return std::string();
}

std::shared_ptr<PluginMonitor> PluginMonitor::Dummy() {
    return std::make_shared<PluginMonitor>();
}

TaskPluginMonitor::TaskPluginMonitor(std::shared_ptr<TaskHandle> task) : task(std::move(task)) {
    if (!this->task) {
        ThrowException<ConfigManagerException>(UNEXPECTED_ERROR,
                                               "A task plugin monitor needs a task handle.");
    }
}

TaskPluginMonitor::~TaskPluginMonitor() = default;

bool TaskPluginMonitor::IsAborted() {
    return task->IsAborted();
}

std::string TaskPluginMonitor::GetTaskId() {
    return task->GetTaskId();
}

}  // namespace TarnConfigManager
