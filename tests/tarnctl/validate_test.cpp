// tarnctl validate: exit status and JSON result of the schema and plugin phases.
#include <gtest/gtest.h>

#include "json_test_text.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

using Validate = TarnctlTest;

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

TEST_F(Validate, AClusterContextThatIsNotUtf8IsNamedAsTheProblem) {
    InstallProbePlugin("ok");
    const std::string document = DocumentFile(kProbeDocument);
    for (std::string command : {"validate", "impact", "apply"}) {
        std::vector<std::string> args = {command, "--cluster-context", "zone-\xff-a", document};
        if (command == "apply") {
            args.push_back("--yes");
        }
        TarnctlResult run = RunTarnctl(args);
        EXPECT_EQ(run.exitCode, 1) << command << run.err;
        EXPECT_NE(run.err.find("The cluster context is not valid UTF-8: the byte 0xff at offset 5"),
                  std::string::npos)
            << command << run.err;
        EXPECT_EQ(run.err.find("plugin"), std::string::npos) << command << run.err;
    }
}

}  // namespace
}  // namespace TarnTest
