// tarnctl impact and apply on the test host of the impact and apply suites: the cost of a
// document, the three ways an apply ends (now, in maintenance mode, at the next boot), the
// refusal without maintenance mode, and Ctrl-C during an apply plugin.
#include <gtest/gtest.h>

#include <regex>

#include "apply_host.h"
#include "json_test_text.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

using ApplyCommands = ApplyHostTest;

std::string DocumentWith(const std::vector<std::pair<std::string, std::string>>& changes) {
    return DocumentFile(Text(Desired(changes)));
}

TEST_F(ApplyCommands, ImpactTellsTheCostAndChangesNothing) {
    TarnctlResult run = RunTarnctl({"--json", "impact", DocumentWith({})});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(JsonText(ParseJson(run.out)),
              R"({"compliant":true,"impact":"none","quickBoot":"unsupported",)"
              R"("quickBootStatus":0,"messages":[]})");

    std::string cache = DocumentWith({{"/host/storage/cache/size", "2"}});
    run = RunTarnctl({"--json", "impact", cache});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_STREQ(out["impact"].GetString(), "maintenance-mode");
    EXPECT_EQ(JsonText(out["messages"]),
              R"([{"id":"com.corvid.settings.impact.info.maintenance-mode","args":[]},)"
              R"({"id":"com.corvid.settings.impact.info.set","args":["cache","storage","host"]}])");

    run = RunTarnctl({"impact", cache});
    EXPECT_NE(run.out.find("needs maintenance mode.\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("set     host/storage/cache\n"), std::string::npos) << run.out;
    EXPECT_EQ(CallNames(), std::vector<std::string>(2, "storetest:storage IMPACT"));
}

TEST_F(ApplyCommands, AppliesNowInMaintenanceModeOrAtTheNextBoot) {
    std::string zone = DocumentWith({{"/host/time/zone/zone", R"("Europe/Oslo")"}});
    TarnctlResult run = RunTarnctl({"--json", "apply", "--yes", zone});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ApplyOutcome(run.out), R"({"result":"applied","impact":"none","status":0})");
    EXPECT_EQ(RunTarnctl({"compliance", zone}).exitCode, 0);
    EXPECT_EQ(ApplyOutcome(RunTarnctl({"--json", "apply", "--yes", zone}).out),
              R"({"result":"compliant","impact":"none","status":0})");

    std::string cache = DocumentWith({{"/host/storage/cache/size", "2"}});
    run = RunTarnctl({"apply", "--yes", cache});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("error 2026 (com.corvid.tarn.settings.apply.not-in-maint-mode)"),
              std::string::npos)
        << run.err;
    ASSERT_EQ(RunTarnctl({"host", "maintenance", "enter"}).exitCode, 0);
    run = RunTarnctl({"--json", "apply", "--yes", cache});
    EXPECT_EQ(ApplyOutcome(run.out),
              R"({"result":"applied-in-maintenance-mode","impact":"maintenance-mode","status":2})")
        << run.err;

    std::string kernel = DocumentWith({{"/host/boot/kernel/args", R"("quiet nosmt")"}});
    run = RunTarnctl({"apply", "--yes", kernel});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("applied when the host reboots"), std::string::npos) << run.out;
    run = RunTarnctl({"--json", "extract", "desired"});
    EXPECT_NE(run.out.find(R"("kernel":{"args":"quiet nosmt"})"), std::string::npos) << run.out;
}

// The library logs a reboot-pending apply as an error line; it belongs in the log file, not on
// the terminal, unless -v asks for it.
TEST_F(ApplyCommands, LibraryLogLinesReachTheTerminalOnlyWithVerbose) {
    std::string kernel = DocumentWith({{"/host/boot/kernel/args", R"("quiet nosmt")"}});
    TarnctlResult run = RunTarnctl({"apply", "--yes", "--quiet", kernel});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    const std::string logged = "[error] ApplyConfig updated the host";
    EXPECT_NE(ReadFile(TarnPaths::kLogFile).find(logged), std::string::npos);

    kernel = DocumentWith({{"/host/boot/kernel/args", R"("nosmt")"}});
    run = RunTarnctl({"apply", "--yes", "-q", "-v", kernel});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \d+ \[(error|warning)\] [^\n]*\n)");
    EXPECT_TRUE(std::regex_match(run.err, std::regex("(" + std::string(R"(\d{4}[^\n]*\n)") + ")+")))
        << run.err;
    EXPECT_NE(run.err.find(logged), std::string::npos) << run.err;
    EXPECT_EQ(std::regex_replace(run.err, line, ""), "") << "only errors and warnings";
    EXPECT_NE(RunTarnctl({"-vvv", "extract", "desired"}).err.find(" [trace] "), std::string::npos);
}

TEST_F(ApplyCommands, AppliesOnlyWhenTheUserSaysYes) {
    std::string zone = DocumentWith({{"/host/time/zone/zone", R"("Europe/Oslo")"}});
    for (const char* answer : {"", "n\n", "maybe\n"}) {
        TarnctlResult run = RunTarnctl({"apply", zone}, answer);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("changes the host now, without maintenance mode or reboot.\n"
                               "Apply " +
                               zone + "? [y/N] "),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("apply cancelled: nothing was changed"), std::string::npos);
    }
    EXPECT_EQ(RunTarnctl({"compliance", zone}).exitCode, 2);

    std::string kernel = DocumentWith({{"/host/boot/kernel/args", R"("nosmt")"}});
    TarnctlResult run = RunTarnctl({"--json", "apply", kernel}, "n\n");
    EXPECT_NE(run.err.find("needs a reboot: it is stored as the desired configuration"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find(R"("result")"), std::string::npos) << run.out;
    EXPECT_EQ(RunTarnctl({"--json", "extract", "desired"}).out.find("nosmt"), std::string::npos);

    zone = DocumentWith({{"/host/time/zone/zone", R"("Europe/Oslo")"}});
    run = RunTarnctl({"--json", "apply", zone}, "Yes\n");
    EXPECT_EQ(ApplyOutcome(run.out), R"({"result":"applied","impact":"none","status":0})")
        << run.err;
}

// What the question says depends on maintenance mode: without it apply refuses before asking;
// in it the question says the change happens now, and the end says it happened in it.
TEST_F(ApplyCommands, TheQuestionSaysWhatMaintenanceModeMeans) {
    std::string cache = DocumentWith({{"/host/storage/cache/size", "2"}});
    TarnctlResult run = RunTarnctl({"apply", cache}, "y\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.find("[y/N]"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Nothing was applied. Enter maintenance mode (tarnctl host maintenance "
                           "enter), then apply again."),
              std::string::npos)
        << run.err;

    ASSERT_EQ(RunTarnctl({"host", "maintenance", "enter"}).exitCode, 0);
    run = RunTarnctl({"apply", cache}, "n\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Applying " + cache +
                           " needs maintenance mode, which the host is in: it changes the host "
                           "now.\nApply " +
                           cache + "? [y/N] "),
              std::string::npos)
        << run.err;
    EXPECT_EQ(RunTarnctl({"compliance", cache}).exitCode, 2);

    run = RunTarnctl({"apply", cache}, "y\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Applied " + cache + " in maintenance mode."), std::string::npos)
        << run.out;
}

TEST_F(ApplyCommands, CtrlCAtTheQuestionAppliesNothing) {
    std::string zone = DocumentWith({{"/host/time/zone/zone", R"("Europe/Oslo")"}});
    TarnctlProcess tarnctl({"apply", zone}, "", true);
    ASSERT_TRUE(AwaitText(tarnctl.ErrPath(), "[y/N] ")) << "tarnctl never asked";
    tarnctl.Interrupt();
    TarnctlResult run = tarnctl.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_EQ(RunTarnctl({"compliance", zone}).exitCode, 2);
    for (const std::string& call : CallNames()) {
        EXPECT_EQ(call.find("APPLY"), std::string::npos) << call;
    }
}

TEST_F(ApplyCommands, CtrlCAbortsTheRunningApplyPlugin) {
    Configure("storetest:zone", R"({"apply": "hang"})");
    TarnctlProcess tarnctl({"apply", "-y", DocumentWith({{"/host/time/zone/zone", R"("UTC+1")"}})});
    ASSERT_TRUE(AwaitFile(RunningMarker())) << "the apply plugin never started";
    tarnctl.Interrupt();
    TarnctlResult run = tarnctl.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("(com.corvid.tarn.settings.apply.plugin.aborted): apply did not "
                           "finish [storetest:zone]"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(tarnctl.GroupAlive());
    EXPECT_FALSE(PathExists(TarnPaths::kPluginInputFile));
}

}  // namespace
}  // namespace TarnTest
