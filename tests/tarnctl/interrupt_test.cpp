// Ctrl-C (SIGINT to tarnctl alone, or to its process group) during a plugin run: through the task
// handle for validation, through tarnctl's own watcher for extraction, which runs its plugins
// without a task handle. Either way the command reports why it stopped, exits 130 and leaves
// neither the run's files nor its process behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <utility>

#include "process_watch.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

class Interrupt : public TarnctlTest {
protected:
    void SetUp() override {
        TarnctlTest::SetUp();
        InstallProbePlugin("hang");
    }

    static void ExpectNothingLeft(const TarnctlProcess& tarnctl) {
        EXPECT_FALSE(tarnctl.GroupAlive());
        EXPECT_FALSE(PathExists(TarnPaths::kPluginInputFile));
        EXPECT_FALSE(PathExists(TarnPaths::kPluginOutputFile));
    }
};

TEST_F(Interrupt, ValidationPluginIsAbortedThroughTheTask) {
    TarnctlProcess tarnctl({"validate", DocumentFile(kProbeDocument)});
    ASSERT_TRUE(AwaitFile(TarnPaths::kPluginInputFile)) << "the plugin never started";
    tarnctl.Interrupt();
    TarnctlResult run = tarnctl.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("tarnctl: error (com.corvid.tarn.settings.validation.plugin.aborted): "
                           "validation did not finish [pythontest:hang]"),
              std::string::npos)
        << run.err;
    ExpectNothingLeft(tarnctl);
}

// A Ctrl-C at the terminal reaches tarnctl's process group; the runner leads a group of its
// own, so it never sees the SIGINT (a Python runner would print a traceback) and is stopped
// by the abort's SIGTERM.
TEST_F(Interrupt, CtrlCAtTheTerminalReachesTarnctlAlone) {
    TarnctlProcess tarnctl({"validate", DocumentFile(kProbeDocument)});
    ASSERT_TRUE(AwaitFile(RootPath("var/corvid/lifecycle/test-plugin-hanging")))
        << "the plugin never started";
    tarnctl.InterruptGroup();
    TarnctlResult run = tarnctl.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("validation.plugin.aborted"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Traceback"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("KeyboardInterrupt"), std::string::npos) << run.err;
    ExpectNothingLeft(tarnctl);
}

TEST_F(Interrupt, ExtractPluginIsStoppedWithoutATask) {
    TarnctlProcess tarnctl({"--json", "extract", "current"});
    ASSERT_TRUE(AwaitFile(TarnPaths::kPluginInputFile)) << "the plugin never started";
    tarnctl.Interrupt();
    TarnctlResult run = tarnctl.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.out.find(R"("code":2031,"id":"com.corvid.tarn.settings.extract.failed")"),
              std::string::npos)
        << run.out;
    ExpectNothingLeft(tarnctl);
}

// The plugin leaves a child of its own (a sleep) running; neither an abort nor the death of
// tarnctl itself may leave it, or the runner, behind.
class BackgroundChild : public TarnctlTest {
protected:
    void SetUp() override {
        TarnctlTest::SetUp();
        InstallProbePlugin("background");
    }

    // The process ids of the runner and of the plugin's child, once the plugin noted them.
    static std::pair<pid_t, pid_t> Started() {
        const std::string marker = RootPath("var/corvid/lifecycle/test-plugin-background");
        EXPECT_TRUE(AwaitFile(marker)) << "the plugin never started";
        std::pair<pid_t, pid_t> pids{0, 0};
        std::ifstream(marker) >> pids.first >> pids.second;
        return pids;
    }
};

TEST_F(BackgroundChild, AnAbortStopsWhatThePluginStarted) {
    TarnctlProcess tarnctl({"validate", DocumentFile(kProbeDocument)});
    auto [runner, sleeper] = Started();
    ASSERT_GT(sleeper, 0);
    tarnctl.Interrupt();
    EXPECT_EQ(tarnctl.Wait().exitCode, 130);
    EXPECT_TRUE(GoneWithinAMinute(runner));
    EXPECT_TRUE(GoneWithinAMinute(sleeper));
}

TEST_F(BackgroundChild, TheRunAndWhatItStartedDieWithTarnctl) {
    TarnctlProcess tarnctl({"validate", DocumentFile(kProbeDocument)});
    auto [runner, sleeper] = Started();
    ASSERT_GT(sleeper, 0);
    kill(tarnctl.Pid(), SIGKILL);
    tarnctl.Wait();
    EXPECT_TRUE(GoneWithinAMinute(runner));
    EXPECT_TRUE(GoneWithinAMinute(sleeper));
}

}  // namespace
}  // namespace TarnTest
