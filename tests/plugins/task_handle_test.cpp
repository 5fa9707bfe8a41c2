// Task handles and monitors: the defaults callers derive from, the monitor that forwards to a
// task, and a task aborted from another thread while a real child runs.
#include "deradidezivizoda/plugins/task_handle.h"

#include <atomic>
#include <thread>

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

TEST(TaskHandleTest, DefaultsNeverAbortAndHandOutFreshObjects) {
    auto task = TaskHandle::Dummy();
    EXPECT_FALSE(task->IsAborted());
    EXPECT_EQ(task->GetTaskId(), "");
    task->UpdateProgress(50.0f);
    auto notifications = task->AddNotification();
    ASSERT_TRUE(notifications);
    EXPECT_NE(notifications, task->AddNotification());
    notifications->PluginInfo("id", {"a"});
    notifications->PluginWarning("id", {});
    notifications->PluginError(ErrorInfo("id", {"a"}, "m"));
    auto child = task->ChildTask(3);
    ASSERT_TRUE(child);
    EXPECT_NE(child, task);

    auto monitor = PluginMonitor::Dummy();
    EXPECT_FALSE(monitor->IsAborted());
    EXPECT_EQ(monitor->GetTaskId(), "");
}

TEST(TaskHandleTest, TaskMonitorForwardsToItsTask) {
    auto task = std::make_shared<CountingTask>();
    TaskPluginMonitor monitor(task);
    EXPECT_EQ(monitor.GetTaskId(), "task-42");
    EXPECT_FALSE(monitor.IsAborted());
    task->aborted = true;
    EXPECT_TRUE(monitor.IsAborted());
    EXPECT_EQ(task->polls.load(), 2);

    try {
        TaskPluginMonitor empty(nullptr);
        FAIL() << "a monitor without a task was built";
    } catch (const ConfigManagerException& e) {
        EXPECT_EQ(e.GetCode(), 3000);
    }
}

class TaskAbortTest : public TarnTest::HostRootTest {};

TEST_F(TaskAbortTest, AbortSetOnAnotherThreadStopsTheRun) {
    TarnTest::InstallRunnerStub("/bin/touch \"$ROOT/started\"\nexec /bin/sleep 1000");
    auto task = std::make_shared<CountingTask>();
    std::thread aborter([&task] {
        while (!TarnTest::PathExists("started")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        task->aborted = true;
    });
    PluginLauncher launcher("p", 1, "APPLY", std::vector<DesiredConfigInput>{}, "python", "");
    launcher.Dump(TarnPaths::kPluginInputFile, task->GetTaskId(), "");
    try {
        launcher.ForkPlugin(std::make_shared<TaskPluginMonitor>(task));
        ADD_FAILURE() << "an aborted run succeeded";
    } catch (const ConfigManagerException& e) {
        EXPECT_STREQ(e.what(), "Config Manager plugin was aborted: p");
    }
    aborter.join();
    // Polled on the monitor thread until the abort, then once more on the calling thread.
    EXPECT_GE(task->polls.load(), 2);
}

}  // namespace
}  // namespace TarnConfigManager
