// PluginMonitor: the abort source a plugin run watches, and TaskPluginMonitor, which connects
// it to the caller's TaskHandle. Shared through std::shared_ptr. IsAborted is called on the
// run's monitor thread and on the calling thread, so overrides must be thread-safe.
#pragma once

#include <memory>
#include <string>

#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

class TaskHandle;

class TARN_EXPORT PluginMonitor {
public:
    virtual ~PluginMonitor();
    // True once the run should stop; the default never aborts.
    virtual bool IsAborted();
    // The task id written to the request; the default is empty.
    virtual std::string GetTaskId();

    // A monitor with the default behaviour, for runs nobody can abort.
    static std::shared_ptr<PluginMonitor> Dummy();
};

class TARN_EXPORT TaskPluginMonitor : public PluginMonitor {
public:
    // Throws ConfigManagerException 3000 when task is empty.
    explicit TaskPluginMonitor(std::shared_ptr<TaskHandle> task);
    ~TaskPluginMonitor() override;

    bool IsAborted() override;
    std::string GetTaskId() override;

private:
    std::shared_ptr<TaskHandle> task;
};

}  // namespace TarnConfigManager
