#include "console_task.h"

#include <unistd.h>

#include <cmath>
#include <list>

#include "console.h"
#include "deradidezivizoda/apply/remediate_host.h"
#include "error_report.h"
#include "interrupt_guard.h"

namespace Tarnctl {

namespace {

constexpr int kBarWidth = 30;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// "started" or "finished" when the notification reports a plugin run starting or ending.
const char* PluginEvent(const std::string& id, const std::list<std::string>& args) {
    for (const char* event : {"started", "finished"}) {
        if (args.size() == 1 && EndsWith(id, std::string(".plugin.") + event)) {
            return event;
        }
    }
    return nullptr;
}

// The short id followed by the arguments.
std::string Describe(const std::string& id, const std::list<std::string>& args) {
    std::string text = ShortMessageId(id);
    for (const std::string& arg : args) {
        text += " " + arg;
    }
    return text;
}

}  // namespace

class ConsoleTask::ConsoleNotifications : public Notifications {
public:
    explicit ConsoleNotifications(std::shared_ptr<ConsoleTask> task) : task_(std::move(task)) {}

    void PluginInfo(const std::string& id, const std::list<std::string>& args) override {
        const char* event = PluginEvent(id, args);
        if (!event) {
            task_->Show(Describe(id, args), false);
            return;
        }
        std::string plugin = "plugin " + args.front();
        if (std::string(event) == "started") {
            task_->activity_ = plugin;
            ++*task_->pluginRuns_;
        }
        task_->Show(plugin + " " + event, true);
    }
    void PluginWarning(const std::string& id, const std::list<std::string>& args) override {
        // The object's id is the last argument of both warnings.
        if ((id == TarnConfigManager::kApplyPluginAbsent ||
             id == TarnConfigManager::kApplyPluginUnordered) &&
            !args.empty()) {
            task_->unapplied_->push_back(args.back());
        }
        task_->Show(
            task_->console_.Paint("warning: " + Describe(id, args), Colour::kYellow, Stream::kErr),
            false);
    }
    void PluginError(TarnConfigManager::ErrorInfo error) override {
        task_->Show(task_->console_.Paint("plugin " + ErrorText(DescribeError(error)), Colour::kRed,
                                          Stream::kErr),
                    false);
    }

private:
    std::shared_ptr<ConsoleTask> task_;
};

ConsoleTask::ConsoleTask(const Console& console, std::string title)
    : console_(console), title_(std::move(title)) {}

ConsoleTask::~ConsoleTask() {
    Finish();
}

bool ConsoleTask::IsAborted() {
    return InterruptGuard::Interrupted();
}

void ConsoleTask::UpdateProgress(float progress) {
    progress_ = progress;
    if (console_.ErrIsTerminal()) {
        Redraw();
    } else {
        console_.Note(title_ + ": " + std::to_string(std::lround(progress)) + "%");
    }
}

std::shared_ptr<TarnConfigManager::TaskHandle::Notifications> ConsoleTask::AddNotification() {
    return std::make_shared<ConsoleNotifications>(shared_from_this());
}

std::shared_ptr<TarnConfigManager::TaskHandle> ConsoleTask::ChildTask(int) {
    Finish();
    auto child = std::make_shared<ConsoleTask>(console_, title_);
    child->pluginRuns_ = pluginRuns_;
    child->unapplied_ = unapplied_;
    return child;
}

std::string ConsoleTask::GetTaskId() const {
    return "tarnctl-" + std::to_string(getpid());
}

void ConsoleTask::Finish() {
    if (barShown_) {
        console_.Draw("\r\033[K");
        barShown_ = false;
    }
}

void ConsoleTask::Show(const std::string& line, bool barOnly) {
    if (!console_.ErrIsTerminal()) {
        console_.Note(line);
        return;
    }
    if (!barOnly) {
        Finish();
        console_.Note(line);
    }
    Redraw();
}

void ConsoleTask::Redraw() {
    int filled = static_cast<int>(std::lround(progress_ / 100.0f * kBarWidth));
    filled = filled < 0 ? 0 : (filled > kBarWidth ? kBarWidth : filled);
    std::string bar = "\r\033[K" + title_ + " [" + std::string(filled, '#') +
                      std::string(kBarWidth - filled, '-') + "] " +
                      std::to_string(std::lround(progress_)) + "%";
    if (!activity_.empty()) {
        bar += "  " + activity_;
    }
    console_.Draw(bar);
    barShown_ = !console_.Quiet();
}

}  // namespace Tarnctl
