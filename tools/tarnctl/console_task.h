// ConsoleTask: the TaskHandle through which tarnctl follows a library operation. Progress and
// plugin notifications go to standard error: a bar redrawn in place on a terminal, plain
// lines otherwise. IsAborted reports Ctrl-C (InterruptGuard); the plugin monitor thread calls
// it too, everything else runs on the main thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/plugins/task_handle.h"

namespace Tarnctl {

class Console;

class ConsoleTask : public TarnConfigManager::TaskHandle,
                    public std::enable_shared_from_this<ConsoleTask> {
public:
    // title names the work on the progress bar ("validate").
    ConsoleTask(const Console& console, std::string title);
    ~ConsoleTask() override;

    bool IsAborted() override;
    void UpdateProgress(float progress) override;
    std::shared_ptr<Notifications> AddNotification() override;
    // A part of the work: a task of its own on the same console, with the same title.
    std::shared_ptr<TaskHandle> ChildTask(int weight) override;
    std::string GetTaskId() const override;

    // Clears the progress bar, so that the result starts on a clean line.
    void Finish();
    // The plugin runs this task and its child tasks have seen start.
    int PluginRuns() const { return pluginRuns_->load(); }
    // The changed objects that no apply plugin applied (ids as the library names them), as
    // this task and its child tasks were warned.
    const std::vector<std::string>& Unapplied() const { return *unapplied_; }

private:
    class ConsoleNotifications;

    // A notification: a plain line, or on a terminal a line above the bar (barOnly: only the
    // bar is redrawn, for plugin starts and ends, which the bar names).
    void Show(const std::string& line, bool barOnly);
    void Redraw();

    const Console& console_;
    std::string title_;
    std::string activity_;  // what the bar names as running now
    float progress_ = 0.0f;
    bool barShown_ = false;
    // Shared with the child tasks, which count into it too.
    std::shared_ptr<std::atomic<int>> pluginRuns_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::vector<std::string>> unapplied_ =
        std::make_shared<std::vector<std::string>>();
};

}  // namespace Tarnctl
