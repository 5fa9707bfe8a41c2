// The loop of an operation that runs plugins one after another (impact, apply, validation):
// before each plugin an abort check, then a started notification, the run, on failure an
// error notification and a stop, on success progress and a finished notification. Private to
// the library; one operation on the caller's thread.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/plugins/task_handle.h"

namespace TarnConfigManager {

// What tells the operations' runs apart.
struct PluginRunMessages {
    const char* operation;  // logs "<operation> aborted, returning..."
    const char* startedId;
    const char* finishedId;
    const char* abortedId;
    bool logsFailure;  // logs "<plugin id> plugin failed to execute."
};

// One plugin's turn: its id for the notifications and the run, which returns the plugin's
// error (an empty id: success).
struct PluginTurn {
    std::string pluginId;
    std::function<ErrorInfo()> run;
};

// The progress of the plugin phase: it starts at 20 and the runs share the other 80 (100 per
// run when none is expected).
class PluginRunProgress {
public:
    explicit PluginRunProgress(std::size_t runs);
    float Advance();

private:
    float step;
    float progress = 20.0f;
};

// One plugin's turn once the abort check has passed; false with error set when it failed.
bool TakePluginTurn(TaskHandle& task, const PluginRunMessages& messages, const PluginTurn& turn,
                    PluginRunProgress& progress, ErrorInfo& error);

// The abort check before an item; true with error set (argument: abortArg) when aborted.
bool PluginRunAborted(TaskHandle& task, const PluginRunMessages& messages,
                      const std::string& abortArg, ErrorInfo& error);

// Goes through items in order. abortArg(item) names the item in an aborted error; turnOf(item)
// gives its turn, or nothing when the item has no plugin to run (no notification, no
// progress). runs is the number of turns expected, for the progress step. Returns the first
// failure or abort, an empty ErrorInfo when every turn succeeded.
template <typename Items, typename AbortArg, typename TurnOf>
ErrorInfo RunPluginLoop(TaskHandle& task, const PluginRunMessages& messages, std::size_t runs,
                        const Items& items, AbortArg abortArg, TurnOf turnOf) {
    PluginRunProgress progress(runs);
    ErrorInfo error;
    for (const auto& item : items) {
        if (PluginRunAborted(task, messages, abortArg(item), error)) {
            return error;
        }
        std::optional<PluginTurn> turn = turnOf(item);
        if (turn && !TakePluginTurn(task, messages, *turn, progress, error)) {
            return error;
        }
    }
    return error;
}

}  // namespace TarnConfigManager
