// Plugin runs with real child processes: stand-in runner scripts that succeed, fail, die by a
// signal, hang until aborted or inspect what they were given.
#include "deradidezivizoda/plugins/plugin_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "deadline.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "host_root_fixture.h"
#include "plugin_install.h"
#include "process_watch.h"
#include "runner_stub.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"
#include "tarn/pluginsupport/error_info.h"

namespace TarnConfigManager {
namespace {

using TarnTest::PathExists;

const char kPluginId[] = "net/dns/plugin.json";

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Index of the first captured line that starts with prefix, or -1.
long IndexOfPrefix(const CSLogger::Capture& capture, const std::string& prefix) {
    std::vector<CSLogger::Line> lines = capture.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].text.rfind(prefix, 0) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// Aborts once the runner stub has created the file "started" below the root. Called on the
// monitor thread; a file check is safe there.
class AbortWhenStarted : public TaskHandle {
public:
    bool IsAborted() override { return PathExists("started"); }
    std::string GetTaskId() const override { return "task-abort"; }
};

pid_t PidIn(const std::string& file) {
    return static_cast<pid_t>(std::stol(TarnTest::ReadFile(file)));
}

class ThrowingTask : public TaskHandle {
public:
    bool IsAborted() override { throw std::runtime_error("abort source is gone"); }
};

class LauncherTest : public TarnTest::HostRootTest {
protected:
    std::unique_ptr<PluginLauncher> MakeLauncher(const std::string& type = "python",
                                                 const std::string& module = "") {
        TarnConfigStore::ConfigStoreObjectId id("servers", "dns", "net");
        std::vector<DesiredConfigInput> inputs{
            {TarnConfigStore::CreateObject(id, "{\"a\":1}", std::nullopt), nullptr, "SET",
             nullptr}};
        return std::make_unique<PluginLauncher>(kPluginId, 1, "APPLY", inputs, type, module);
    }

    // Runs one plugin operation as the plugin operations do; returns the failure text, or ""
    // when the run succeeded.
    std::string Run(std::shared_ptr<PluginMonitor> monitor = PluginMonitor::Dummy()) {
        auto launcher = MakeLauncher();
        launcher->Dump(TarnPaths::kPluginInputFile, monitor->GetTaskId(), "cluster-1");
        try {
            TarnTest::Deadline deadline("a plugin run");
            launcher->ForkPlugin(monitor);
        } catch (const ConfigManagerException& e) {
            EXPECT_EQ(e.GetCode(), 3000);
            EXPECT_EQ(e.GetArgs(), std::vector<std::string>{e.what()});
            return e.what();
        }
        return "";
    }

    void TearDown() override {
        // Every run reaps its child: none is left running or as a zombie.
        int status;
        EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
        EXPECT_FALSE(PathExists(TarnPaths::kPluginInputFile));
        EXPECT_FALSE(PathExists(TarnPaths::kPluginOutputFile));
    }
};

TEST_F(LauncherTest, SuccessfulRunGivesTheRunnerItsRequestAndReadsItsAnswer) {
    TarnTest::InstallRunnerStub(R"(
/bin/cp "$IN" "$ROOT/request-seen.json"
echo "$0|$1|$#" > "$ROOT/argv.txt"
echo '{"id":"","args":[],"message":""}' > "$OUT")");
    CSLogger::Capture capture;
    {
        auto launcher = MakeLauncher();
        launcher->Dump(TarnPaths::kPluginInputFile, "task-7", "cluster-1");
        launcher->ForkPlugin(PluginMonitor::Dummy());
        EXPECT_EQ(ErrorInfo::Load(TarnPaths::kPluginOutputFile).id, "");
    }
    std::string request = TarnTest::ReadFile("request-seen.json");
    EXPECT_NE(request.find(R"("taskId":"task-7","clusterContext":"cluster-1"})"),
              std::string::npos);
    EXPECT_EQ(TarnTest::ReadFile("argv.txt"),
              std::string(TarnPaths::kPyPluginRunner) +
                  "|++group=host/kiln/hostcore/configManagerPlugin,stats|1\n");

    std::string id = kPluginId;
    for (std::string line :
         {"Plugin Launcher created for id=" + id + ", operation=APPLY, version=1, type=python",
          "Forking plugin for id=" + id, std::string("Starting plugin monitor thread"),
          std::string("Stopping plugin monitor thread"),
          "Config Manager plugin=" + id + ", finished successfully"}) {
        EXPECT_TRUE(capture.Contains(2, line)) << line;
    }
    EXPECT_EQ(IndexOfPrefix(capture, "Terminating plugin process"), -1);
    long timing = IndexOfPrefix(capture, "Plugin " + id + " completed operation APPLY in ");
    ASSERT_NE(timing, -1);
    EXPECT_TRUE(EndsWith(capture.Lines()[timing].text, " seconds."));
}

TEST_F(LauncherTest, RunnerIsChosenByPluginType) {
    TarnTest::InstallRunnerStubs("echo cpp > \"$ROOT/ran\"", "echo python > \"$ROOT/ran\"");
    for (auto [type, module, runner] :
         {std::tuple{"python", "", "python\n"}, std::tuple{"c++", "libdns.so", "cpp\n"},
          std::tuple{"cpp", "libdns.so", "cpp\n"}}) {
        auto launcher = MakeLauncher(type, module);
        launcher->Dump(TarnPaths::kPluginInputFile, "", "");
        launcher->ForkPlugin(PluginMonitor::Dummy());
        EXPECT_EQ(TarnTest::ReadFile("ran"), runner) << type;
    }
    try {
        MakeLauncher("cpp", "");
        FAIL() << "a cpp plugin without a shared object was accepted";
    } catch (const ConfigManagerException& e) {
        EXPECT_EQ(e.GetCode(), 3000);
        EXPECT_STREQ(e.what(), "Cpp plugin must specify the shared object name.");
    }
}

TEST_F(LauncherTest, ChildGetsAnEmptyEnvironmentAndOnlyTheStandardDescriptors) {
    TarnTest::InstallRunnerStub(R"(
/bin/cat /proc/$$/environ > "$ROOT/environ"
/bin/ls /proc/self/fd > "$ROOT/fds")");
    // A descriptor the caller leaked without close-on-exec must not reach the runner either.
    int leaked = open(TarnPaths::kProductUuidFile, O_RDONLY);
    ASSERT_EQ(dup2(leaked, 40), 40);
    std::string failure = Run();
    close(40);
    close(leaked);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(TarnTest::ReadFile("environ"), "");
    // 3 is the folder ls itself is listing.
    EXPECT_EQ(TarnTest::ReadFile("fds"), "0\n1\n2\n3\n");
}

TEST_F(LauncherTest, FailedRunsNameTheirCause) {
    std::string id = kPluginId;
    std::string failure;
    for (int status : {1, 2}) {
        TarnTest::InstallRunnerStub("exit " + std::to_string(status));
        failure = Run();
        EXPECT_EQ(failure.rfind("Config Manager plugin failed: " + id + ", pid=", 0), 0) << failure;
        EXPECT_TRUE(EndsWith(failure, ", status=" + std::string(std::strerror(status)))) << failure;
    }

    TarnTest::InstallRunnerStub("kill -9 $$");
    failure = Run();
    EXPECT_EQ(failure.rfind("Config Manager plugin failed: " + id + ", pid=", 0), 0) << failure;
    EXPECT_TRUE(EndsWith(failure, ", terminated with signal=9")) << failure;

    unlink(TarnPaths::kPyPluginRunner);
    EXPECT_EQ(Run(), "Failed to fork plugin runner. " + std::string(std::strerror(ENOENT)));
}

// The real C++ runner loads a module only from inside the plugin folder that the plugin id
// names: a piece that is empty, "." or "..", or holds a "/", and a module name with a "/",
// end the run before anything is loaded.
TEST_F(LauncherTest, TheCppRunnerLoadsModulesOnlyFromThePluginFolder) {
    TarnTest::InstallPluginRunners();
    const std::string badId = "the plugin id does not name a plugin folder";
    for (auto [id, module, reason] :
         {std::tuple{"net:..:x", "lib.so", badId}, std::tuple{"net:.", "lib.so", badId},
          std::tuple{"net::x", "lib.so", badId}, std::tuple{"net/x", "lib.so", badId},
          std::tuple{"net", "../lib.so",
                     std::string("the module \"../lib.so\" is not a file name")}}) {
        PluginLauncher launcher(id, 1, "APPLY", std::vector<DesiredConfigInput>{}, "cpp", module);
        launcher.Dump(TarnPaths::kPluginInputFile, "", "");
        try {
            TarnTest::Deadline deadline("a C++ runner refusing a module path");
            launcher.ForkPlugin(PluginMonitor::Dummy());
            ADD_FAILURE() << "ran " << id;
        } catch (const ConfigManagerException& e) {
            EXPECT_EQ(e.GetCode(), 3000);
        }
        std::string line = std::string("cpp_plugin_runner: plugin ") + id + ": " + reason;
        EXPECT_NE(TarnTest::ReadFile(TarnPaths::kLogFile).find(line), std::string::npos) << line;
    }
}

TEST_F(LauncherTest, AbortEndsTheChildWithSigtermAndFailsTheRunEvenWhenItExitsZero) {
    TarnTest::InstallRunnerStub(R"(
trap '/bin/touch "$ROOT/got-term"; kill $!; exit 0' TERM
/bin/touch "$ROOT/started"
/bin/sleep 1000 &
wait)");
    CSLogger::Capture capture;
    std::string failure =
        Run(std::make_shared<TaskPluginMonitor>(std::make_shared<AbortWhenStarted>()));
    EXPECT_EQ(failure, std::string("Config Manager plugin was aborted: ") + kPluginId);
    EXPECT_TRUE(PathExists("got-term"));
    long terminating = IndexOfPrefix(capture, "Terminating plugin process: ");
    EXPECT_NE(terminating, -1);
    EXPECT_LT(terminating, capture.IndexOf("Stopping plugin monitor thread"));
}

TEST_F(LauncherTest, AnAbortSourceThatThrowsFailsTheRunAfterTheChildIsReaped) {
    TarnTest::InstallRunnerStub("exit 0");
    auto launcher = MakeLauncher();
    launcher->Dump(TarnPaths::kPluginInputFile, "", "");
    auto monitor = std::make_shared<TaskPluginMonitor>(std::make_shared<ThrowingTask>());
    EXPECT_THROW(launcher->ForkPlugin(monitor), std::runtime_error);
}

TEST_F(LauncherTest, AnAnswerLeftByAnEarlierRunIsNeverRead) {
    TarnTest::InstallRunnerStub("exit 0");
    auto launcher = MakeLauncher();
    launcher->Dump(TarnPaths::kPluginInputFile, "", "");
    TarnTest::WriteFile(TarnPaths::kPluginOutputFile, R"({"id":"stale"})");
    launcher->ForkPlugin(PluginMonitor::Dummy());
    EXPECT_THROW(ErrorInfo::Load(TarnPaths::kPluginOutputFile), std::runtime_error);
}

// A plugin's background child goes with the run, whether the run was aborted or ended by
// itself; only the runner's process group is hit.
TEST_F(LauncherTest, NothingTheRunnerStartedOutlivesTheRun) {
    for (bool abort : {true, false}) {
        TarnTest::ResetHostRoot();
        TarnTest::InstallRunnerStub(R"(
/bin/sleep 300 &
echo $! > "$ROOT/sleeper"
/bin/touch "$ROOT/started"
)" + std::string(abort ? "wait" : "exit 0"));
        std::string failure =
            abort ? Run(std::make_shared<TaskPluginMonitor>(std::make_shared<AbortWhenStarted>()))
                  : Run();
        EXPECT_EQ(failure, abort ? std::string("Config Manager plugin was aborted: ") + kPluginId
                                 : std::string());
        pid_t sleeper = PidIn("sleeper");
        EXPECT_TRUE(TarnTest::GoneWithinAMinute(sleeper)) << "abort " << abort;
    }
}

// The runner gets SIGTERM when its caller dies, even by SIGKILL (the real runners then stop
// their process group, as this stand-in does), so no plugin goes on changing the host alone.
TEST_F(LauncherTest, TheRunnerDiesWithItsCaller) {
    TarnTest::InstallRunnerStub(R"(
trap 'kill -KILL 0' TERM
/bin/sleep 300 &
echo $! > "$ROOT/sleeper"
echo $$ > "$ROOT/runner"
/bin/touch "$ROOT/started"
wait)");
    pid_t caller = fork();
    if (caller == 0) {
        Run();
        _exit(0);
    }
    ASSERT_TRUE(TarnTest::WithinAMinute([] { return PathExists("started"); }))
        << "the runner never started";
    kill(caller, SIGKILL);
    waitpid(caller, nullptr, 0);
    pid_t runner = PidIn("runner");
    pid_t sleeper = PidIn("sleeper");
    EXPECT_TRUE(TarnTest::GoneWithinAMinute(runner));
    EXPECT_TRUE(TarnTest::GoneWithinAMinute(sleeper));
    unlink(TarnPaths::kPluginInputFile);  // the killed caller could not remove its request
}

}  // namespace
}  // namespace TarnConfigManager
