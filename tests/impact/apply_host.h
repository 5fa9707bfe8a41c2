// A small host for the impact and apply suites: five keys with their schemas and current rows,
// and Python test plugins (plugins/store_plugin.py) whose apply changes the host's current rows
// and whose runs are logged, each plugin behaving as the test's setup says. RecordingTask
// records what the library reports to a task and aborts on a condition. Test-only; one thread
// except RecordingTask::IsAborted.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/plugins/task_handle.h"
#include "host_root_fixture.h"
#include "tarn/json/json.h"

namespace TarnTest {

// The keys of the host, all in component "host":
//   time:zone     {"zone"}                        plugin storetest:zone  (group system)
//   net:links     instances by "name": "mtu" reboots at 9000, "enabled" false needs
//                 maintenance mode, "speed" costs nothing; plugin storetest:links (network),
//                 which caches the drift of its key
//   time:ntp      {"servers": [...]}              plugin host:time:ntp (version 3, system,
//                                                 after SET:storetest:zone), no impact support
//   storage:cache {"size"}, maintenance mode for ADD and SET; plugin storetest:storage (storage)
//   boot:kernel   {"args"}, reboot for ADD and SET;         plugin storetest:boot (system-early)
extern const char kHostDocument[];

rapidjson::Document Json(const std::string& text);
std::string Text(const rapidjson::Value& value);
// kHostDocument with the value at each JSON pointer replaced (added) by the JSON text after it.
rapidjson::Document Desired(const std::vector<std::pair<std::string, std::string>>& changes);

// Writes the current rows of a document (component -> group -> key), replacing the key's rows.
void PutCurrent(const std::string& documentText);
// Whether the host's current configuration matches desired (the library's compliance check);
// a mismatch is also reported as a test failure with the report.
bool Complies(rapidjson::Document desired);

// One logged plugin run: "plugin", "operation", "context", "inputs" (each "id", "operation",
// "config", "drift", "cached"); or "plugin" and "signal" when an abort ended a run.
std::vector<rapidjson::Document> PluginCalls();
// The file each plugin run appends its line to; it exists once the first plugin has run.
std::string CallLog();
// "<plugin> <operation>" of each logged run, in order.
std::vector<std::string> CallNames();
// The plugin ids of the logged APPLY runs, in order.
std::vector<std::string> AppliedPlugins();
std::string RunningMarker();

class ApplyHostTest : public HostRootTest {
protected:
    // A clean root with the runners, the manifest schemas, the five schemas and the current rows
    // of kHostDocument, and the five plugins with setup "{}".
    void SetUp() override;

    // Installs (or re-installs) the store plugin at folder (below the plugin directory) with
    // the manifest and the setup members (a JSON object text, without the paths).
    static void InstallPlugin(const std::string& folder, const std::string& manifest,
                              const std::string& setup = "{}");
    // Re-installs one of the five plugins with another setup.
    static void Configure(const std::string& pluginId, const std::string& setup);
};

class RecordingTask : public TarnConfigManager::TaskHandle {
public:
    struct Notification {
        std::string id;
        std::vector<std::string> args;
        bool error = false;
    };

    bool IsAborted() override;
    void UpdateProgress(float progress) override { this->progress.push_back(progress); }
    std::shared_ptr<Notifications> AddNotification() override;
    std::shared_ptr<TaskHandle> ChildTask(int weight) override;

    // Abort from the start, once an apply plugin (or, with kAnyImpactPlugin, any impact
    // plugin) reported finished, or once a file exists.
    static constexpr const char kAnyImpactPlugin[] = "<any impact plugin>";
    void AbortNow() { aborted->store(true); }
    void AbortAfterFinished(const std::string& pluginId) { abortAfter = pluginId; }
    void AbortWhenFileExists(const std::string& path) { abortFile = path; }

    std::vector<float> progress;
    std::vector<Notification> notifications;
    std::vector<std::shared_ptr<RecordingTask>> children;
    std::vector<int> childWeights;

private:
    std::shared_ptr<std::atomic<bool>> aborted = std::make_shared<std::atomic<bool>>(false);
    std::string abortAfter;
    std::string abortFile;
};

}  // namespace TarnTest
