// tarnctl boot run|status and bootstrap on the test host of the impact and apply suites: a
// reboot document applied by the next "boot run", the status before and after, a failing
// boot plugin, bootstraps that are refused, and a malformed boot apply state.
#include <gtest/gtest.h>

#include "apply_host.h"
#include "json_test_text.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

using BootCommands = ApplyHostTest;

std::string DocumentWith(const std::vector<std::pair<std::string, std::string>>& changes) {
    return DocumentFile(Text(Desired(changes)));
}

TEST_F(BootCommands, ABootRunAppliesWhatApplyStoredForTheReboot) {
    TarnctlResult run = RunTarnctl({"--json", "boot", "status"});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(run.out, R"({"status":3,"state":"not complete","failures":[]})"
                       "\n");

    std::string kernel = DocumentWith({{"/host/boot/kernel/args", R"("debug")"}});
    ASSERT_EQ(RunTarnctl({"apply", "--yes", kernel}).exitCode, 0);
    EXPECT_EQ(RunTarnctl({"compliance", kernel}).exitCode, 2);
    run = RunTarnctl({"boot", "run"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "boot: complete\n");
    EXPECT_EQ(RunTarnctl({"compliance", kernel}).exitCode, 0);
    EXPECT_EQ(CallNames().back(), "storetest:boot APPLY");
    run = RunTarnctl({"--json", "boot", "status"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, R"({"status":0,"state":"complete","failures":[]})"
                       "\n");
}

TEST_F(BootCommands, AFailedBootIsReportedWithItsTimeIdAndArguments) {
    Configure("storetest:boot", R"({"apply": "fail"})");
    std::string kernel = DocumentWith({{"/host/boot/kernel/args", R"("debug")"}});
    ASSERT_EQ(RunTarnctl({"apply", "--yes", kernel}).exitCode, 0);
    TarnctlResult run = RunTarnctl({"boot", "run"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(
        run.err.find("tarnctl: error (test.apply.failed): boot-time apply failed [storetest:boot]"),
        std::string::npos)
        << run.err;
    run = RunTarnctl({"--json", "boot", "status"});
    EXPECT_EQ(run.exitCode, 2);
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_EQ(out["status"].GetInt(), 1);
    ASSERT_EQ(out["failures"].Size(), 1u);
    EXPECT_STREQ(out["failures"][0]["id"].GetString(), "test.apply.failed");
    EXPECT_EQ(JsonText(out["failures"][0]["args"]), R"(["storetest:boot"])");
    EXPECT_EQ(std::string(out["failures"][0]["time"].GetString()).size(), 19u);
    run = RunTarnctl({"boot", "status"});
    EXPECT_NE(run.out.find("boot: complete with failures\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("test.apply.failed  storetest:boot"), std::string::npos) << run.out;

    TarnConfigStore::setBootApplyRecord("{");
    run = RunTarnctl({"boot", "status"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("error 1082"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST_F(BootCommands, BootstrapKeepsTheDeploymentFilesForTheBoot) {
    WriteFile(TarnPaths::kWaiterNotifyFile, R"({"waiter": "10.0.0.1"})");
    WriteFile(TarnPaths::kFleetbootFirewallFile, "<zone/>\n");
    std::string kernel = DocumentWith({{"/host/boot/kernel/args", R"("debug")"}});
    TarnctlResult run = RunTarnctl({"--json", "bootstrap", kernel});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, R"({"bootstrapped":true,"rebootPending":true})"
                       "\n");
    EXPECT_FALSE(PathExists(TarnPaths::kWaiterNotifyFile));
    ASSERT_EQ(RunTarnctl({"boot", "run"}).exitCode, 0);
    EXPECT_EQ(ReadFile(TarnPaths::kWaiterNotifyFile), R"({"waiter":"10.0.0.1"})");
    EXPECT_EQ(ReadFile(TarnPaths::kFleetbootFirewallFile), "<zone/>\n");
    EXPECT_EQ(RunTarnctl({"compliance", kernel}).exitCode, 0);

    // No notification file: refused, with the library's reason on one line.
    std::remove(TarnPaths::kWaiterNotifyFile);
    run = RunTarnctl({"bootstrap", DocumentWith({{"/host/boot/kernel/args", R"("quiet")"}})});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("tarnctl: error: bootstrap failed: Failed to bootstrap host "
                           "error=waiterNotify.json file does not exists.\n"),
              std::string::npos)
        << run.err;

    run = RunTarnctl({"bootstrap", DocumentFile("{\"host\": ")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("error 2080"), std::string::npos) << run.err;
    run = RunTarnctl({"bootstrap", "--early", RootPath("no/such.json")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot read"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace TarnTest
