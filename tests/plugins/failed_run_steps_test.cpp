// Failed system calls injected into a plugin run: writing the request file at every open,
// write and rename, taking the host lock, and starting the runner. Each is reported as the run's
// 3000 error with the call's reason, and leaves no request file, no temporary file and no child
// behind.
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/plugin_launcher.h"
#include "failed_steps.h"
#include "host_root_fixture.h"
#include "runner_stub.h"
#include "tarn/paths.h"

namespace TarnConfigManager {
namespace {

using TarnTest::FaultStep;

const std::string kLifecycle = TarnTest::RootPath("var/corvid/lifecycle");

std::unique_ptr<PluginLauncher> MakeLauncher() {
    TarnConfigStore::ConfigStoreObjectId id("servers", "dns", "net");
    std::vector<DesiredConfigInput> inputs{
        {TarnConfigStore::CreateObject(id, "{\"a\":1}", std::nullopt), nullptr, "SET", nullptr}};
    return std::make_unique<PluginLauncher>("net/dns/plugin.json", 1, "APPLY", inputs, "python",
                                            "");
}

// The text of the 3000 error body throws, or "" when it throws none.
std::string RunError(const std::function<void()>& body) {
    try {
        body();
    } catch (const ConfigManagerException& e) {
        EXPECT_EQ(e.GetCode(), 3000);
        return e.what();
    }
    return "";
}

void ExpectNoChild() {
    int status;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

class FailedRunStepTest : public TarnTest::HostRootTest {};

TEST_F(FailedRunStepTest, ARequestFileThatCannotBeWrittenLeavesNoFile) {
    for (FaultStep step : {FaultStep::kOpen, FaultStep::kWrite, FaultStep::kRename}) {
        SCOPED_TRACE(static_cast<int>(step));
        std::string error;
        TarnTest::ForEachFailedStep(
            step, ENOSPC, [] { TarnTest::ResetHostRoot(); },
            [&error] {
                error =
                    RunError([] { MakeLauncher()->Dump(TarnPaths::kPluginInputFile, "task", ""); });
            },
            [&error](unsigned) {
                EXPECT_EQ(error, std::string("Failed to write plugin request file ") +
                                     TarnPaths::kPluginInputFile + ": " + std::strerror(ENOSPC));
                EXPECT_TRUE(TarnTest::FolderEntries(kLifecycle).empty());
            });
    }
}

TEST_F(FailedRunStepTest, ARunnerThatCannotStartFailsTheRunAndLeavesNothing) {
    TarnTest::InstallRunnerStub("/bin/touch \"$ROOT/ran\"");
    for (int error : {EAGAIN, ENOMEM, EACCES}) {
        std::string failure = RunError([error] {
            auto launcher = MakeLauncher();
            launcher->Dump(TarnPaths::kPluginInputFile, "task", "");
            TarnConfigStore::FailStep(FaultStep::kSpawn, error);
            launcher->ForkPlugin(PluginMonitor::Dummy());
        });
        EXPECT_EQ(failure, std::string("Failed to fork plugin runner. ") + std::strerror(error));
        EXPECT_FALSE(TarnTest::PathExists("ran"));
        EXPECT_TRUE(TarnTest::FolderEntries(kLifecycle).empty());
        ExpectNoChild();
    }
    // The next run starts: a failed start leaves nothing armed or broken.
    EXPECT_EQ(RunError([] {
                  auto launcher = MakeLauncher();
                  launcher->Dump(TarnPaths::kPluginInputFile, "task", "");
                  launcher->ForkPlugin(PluginMonitor::Dummy());
              }),
              "");
    EXPECT_TRUE(TarnTest::PathExists("ran"));
    ExpectNoChild();
}

TEST_F(FailedRunStepTest, AHostLockThatCannotBeOpenedIsReportedAndNotHeld) {
    TarnConfigStore::FailStep(FaultStep::kOpen, EMFILE);
    EXPECT_EQ(RunError([] { HostLock lock; }), std::string("Cannot open the host lock ") +
                                                   TarnPaths::kHostLockFile + ": " +
                                                   std::strerror(EMFILE));
    // Nothing was left held: the next one is taken at once.
    EXPECT_EQ(RunError([] { HostLock lock; }), "");
}

}  // namespace
}  // namespace TarnConfigManager
