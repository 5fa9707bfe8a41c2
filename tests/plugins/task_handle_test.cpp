// A task handle whose abort flag another thread sets while a real child runs, seen through
// the task monitor on the run's monitor thread.
#include "deradidezivizoda/plugins/task_handle.h"

#include <atomic>
#include <thread>

#include "deadline.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/plugins/plugin_launcher.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "host_root_fixture.h"
#include "runner_stub.h"
#include "tarn/paths.h"

namespace TarnConfigManager {
namespace {

class CountingTask : public TaskHandle {
public:
    bool IsAborted() override {
        polls.fetch_add(1);
        return aborted.load();
    }
    std::string GetTaskId() const override { return "task-42"; }

    std::atomic<bool> aborted{false};
    std::atomic<int> polls{0};
};

class TaskAbortTest : public TarnTest::HostRootTest {};

TEST_F(TaskAbortTest, AbortSetOnAnotherThreadStopsTheRun) {
    TarnTest::InstallRunnerStub("/bin/touch \"$ROOT/started\"\nexec /bin/sleep 1000");
    auto task = std::make_shared<CountingTask>();
    TarnTest::Deadline deadline("an aborted plugin run");
    std::thread aborter([&task] {
        while (!TarnTest::PathExists("started")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        task->aborted = true;
    });
    auto monitor = std::make_shared<TaskPluginMonitor>(task);
    EXPECT_EQ(monitor->GetTaskId(), "task-42");
    PluginLauncher launcher("p", 1, "APPLY", std::vector<DesiredConfigInput>{}, "python", "");
    launcher.Dump(TarnPaths::kPluginInputFile, monitor->GetTaskId(), "");
    try {
        launcher.ForkPlugin(monitor);
        ADD_FAILURE() << "an aborted run succeeded";
    } catch (const ConfigManagerException& e) {
        EXPECT_STREQ(e.what(), "Config Manager plugin was aborted: p");
    }
    aborter.join();
    // Polled on the monitor thread until the abort, then once more on the calling thread.
    EXPECT_GE(task->polls.load(), 2);
    EXPECT_THROW(TaskPluginMonitor(nullptr), ConfigManagerException);
}

}  // namespace
}  // namespace TarnConfigManager
