#include "plugins/plugin_run_loop.h"

#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

PluginRunProgress::PluginRunProgress(std::size_t runs)
    : step(runs == 0 ? 100.0f : 80.0f / static_cast<float>(runs)) {}

float PluginRunProgress::Advance() {
    progress += step;
    return progress;
}

bool PluginRunAborted(TaskHandle& task, const PluginRunMessages& messages,
                      const std::string& abortArg, ErrorInfo& error) {
    if (!task.IsAborted()) {
        return false;
    }
    CSLogger::Log(2, "%s aborted, returning...", messages.operation);
    error = ErrorInfo(messages.abortedId, {abortArg});
    return true;
}

bool TakePluginTurn(TaskHandle& task, const PluginRunMessages& messages, const PluginTurn& turn,
                    PluginRunProgress& progress, ErrorInfo& error) {
    task.AddNotification()->PluginInfo(messages.startedId, {turn.pluginId});
    error = turn.run();
    if (!error.id.empty()) {
        if (messages.logsFailure) {
            CSLogger::Log(0, "%s plugin failed to execute.", turn.pluginId.c_str());
        }
        task.AddNotification()->PluginError(error);
        return false;
    }
    task.UpdateProgress(progress.Advance());
    task.AddNotification()->PluginInfo(messages.finishedId, {turn.pluginId});
    return true;
}

}  // namespace TarnConfigManager
