// TaskHandle: how the library's caller follows a long operation: abort, progress and
// notifications. Callers derive from it; the defaults do nothing. Shared through
// std::shared_ptr. IsAborted is also called from a plugin run's monitor thread, so an
// override must be safe to call from another thread (e.g. read an atomic flag).
#pragma once

#include <list>
#include <memory>
#include <string>

#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

class TARN_EXPORT TaskHandle {
public:
    // Messages of plugin runs for the task's owner; the defaults drop them.
    class TARN_EXPORT Notifications {
    public:
        virtual ~Notifications();
        virtual void PluginInfo(const std::string& id, const std::list<std::string>& args);
        virtual void PluginWarning(const std::string& id, const std::list<std::string>& args);
        virtual void PluginError(ErrorInfo error);
    };

    virtual ~TaskHandle();
    // True once the caller wants the operation stopped; the default never aborts.
    virtual bool IsAborted();
    virtual void UpdateProgress(float progress);
    // A new notification object; the default returns a new default Notifications.
    virtual std::shared_ptr<Notifications> AddNotification();
    // A handle for a part of the work; the default ignores weight and returns a new default
    // TaskHandle.
    virtual std::shared_ptr<TaskHandle> ChildTask(int weight);
    virtual std::string GetTaskId() const;

    // A handle with the default behaviour.
    static std::shared_ptr<TaskHandle> Dummy();
};

}  // namespace TarnConfigManager
