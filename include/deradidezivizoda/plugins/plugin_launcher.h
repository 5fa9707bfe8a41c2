// PluginLauncher: one plugin run as a child process. It is the run's request; ForkPlugin
// starts the runner for the plugin's type, watches the monitor for an abort on a thread of its
// own and turns the child's end into success or an exception. The destructor removes the
// request and result files. One run at a time per host (the files are fixed); one thread.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/export.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "deradidezivizoda/plugins/plugin_request.h"

namespace TarnConfigManager {

class TARN_EXPORT PluginLauncher : public PluginRequest {
public:
    // Apply and impact runs. Throws ConfigManagerException 3000 when type is "cpp" and module
    // is empty.
    PluginLauncher(const std::string& id, int version, const std::string& operation,
                   const std::vector<DesiredConfigInput>& inputs, const std::string& type,
                   std::string module);
    // Extract runs.
    PluginLauncher(const std::string& id, int version, const std::string& operation,
                   const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids,
                   const std::string& type, std::string module);
    // Validate runs.
    PluginLauncher(
        const std::string& id, int version, const std::string& operation,
        const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& configs,
        const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& references,
        const std::string& type, std::string module);
    // Removes the request and result files and logs how long the run took.
    ~PluginLauncher() override;

    // Runs the runner to its end: returns only when it exited with 0 and no abort was seen.
    // Otherwise throws ConfigManagerException 3000 (not started, wait failed, aborted,
    // non-zero exit, ended by a signal). The child is always reaped. An empty monitor never
    // aborts.
    void ForkPlugin(std::shared_ptr<PluginMonitor> monitor);

private:
    void Created(int version, const std::string& module);

    std::string id;
    std::string operation;
    std::string type;
    std::chrono::steady_clock::time_point start;
};

}  // namespace TarnConfigManager
