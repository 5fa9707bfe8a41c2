// tarnctl validate: exit status and JSON result of the schema and plugin phases, and Ctrl-C
// aborting a plugin run through the task handle.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "json_test_text.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

using Validate = TarnctlTest;

const char kProbeDocument[] = R"({"testing": {"plugins": {"probe": {"on": true}}}})";

TEST_F(Validate, SchemaPhaseDecidesBetweenZeroAndTwo) {
    TarnctlResult run =
        RunTarnctl({"validate", "--json", DocumentFile(ResolverDocument(R"(["10.0.0.1"])"))});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(JsonText(ParseJson(run.out)), "{}");

    run = RunTarnctl({"validate", "--json", DocumentFile(ResolverDocument("7"))});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(JsonText(ParseJson(run.out)),
              R"({"errors":[{"path":"/net/dns/resolver/servers","messages":[)"
              R"({"id":"com.corvid.tarn.settings.validator.type-mismatch",)"
              R"("args":["array","integer"],"message":""}]}]})");

    // --no-schema leaves the schema out, so only plugins (none here) could object.
    run = RunTarnctl({"validate", "--no-schema", DocumentFile(ResolverDocument("7"))});
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

TEST_F(Validate, KeyWithoutSchemaIsAFindingNotAnError) {
    TarnctlResult run =
        RunTarnctl({"validate", DocumentFile(R"({"net": {"dns": {"nokey": {}}}})")});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_NE(run.out.find("is invalid: 1 problem."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("validator.schema-not-found  net, dns, nokey"), std::string::npos)
        << run.out;
}

TEST_F(Validate, PluginFindingsAndNotifications) {
    InstallProbePlugin("ok");
    TarnctlResult run = RunTarnctl({"--json", "validate", DocumentFile(kProbeDocument)});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    ASSERT_EQ(out["errors"].Size(), 1u) << run.out;
    EXPECT_STREQ(out["errors"][0]["path"].GetString(), "/probe/value");
    // Not a terminal: progress and notifications are plain lines on standard error.
    EXPECT_NE(run.err.find("plugin pythontest:ok started\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("validate: 100%\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("plugin pythontest:ok finished\n"), std::string::npos) << run.err;

    run = RunTarnctl({"--quiet", "validate", DocumentFile(kProbeDocument)});
    EXPECT_TRUE(run.err.empty()) << run.err;
}

TEST_F(Validate, FailedPluginRunExitsOneWithItsError) {
    InstallProbePlugin("error");
    TarnctlResult run = RunTarnctl({"--json", "validate", DocumentFile(kProbeDocument)});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_STREQ(out["pluginErr"]["id"].GetString(), "test.plugin.error");
    EXPECT_FALSE(out.HasMember("errors"));
}

TEST_F(Validate, CtrlCAbortsTheRunningPluginAndLeavesNothingBehind) {
    InstallProbePlugin("hang");
    TarnctlProcess tarnctl({"validate", DocumentFile(kProbeDocument)});
    // The request file exists from just before the plugin starts until the run is over.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!PathExists(TarnPaths::kPluginInputFile) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(PathExists(TarnPaths::kPluginInputFile)) << "the plugin never started";
    tarnctl.Interrupt();
    TarnctlResult run = tarnctl.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("(com.corvid.tarn.settings.validation.plugin.aborted)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("pythontest:hang"), std::string::npos) << run.err;
    EXPECT_FALSE(PathExists(TarnPaths::kPluginInputFile));
    EXPECT_FALSE(PathExists(TarnPaths::kPluginOutputFile));
}

}  // namespace
}  // namespace TarnTest
