// tarnctl compliance: the exit status scripts rely on (0 compliant, 2 drift, 1 error), the
// JSON report, and documents written for several hosts.
#include <gtest/gtest.h>

#include "json_test_text.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

using Compliance = TarnctlTest;

TEST_F(Compliance, CompliantHostExitsZeroWithEmptyReport) {
    TarnctlResult run =
        RunTarnctl({"--json", "compliance", DocumentFile(ResolverDocument(R"(["10.0.0.1"])"))});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(JsonText(ParseJson(run.out)),
              R"({"compliant":true,"report":{"ADDS":[],"DELETES":[],"SETS":[]}})");

    run = RunTarnctl({"compliance", DocumentFile(ResolverDocument(R"(["10.0.0.1"])"))});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("is compliant"), std::string::npos) << run.out;
}

TEST_F(Compliance, DriftExitsTwoAndReportsEveryDifference) {
    TarnctlResult run =
        RunTarnctl({"compliance", "--json", DocumentFile(ResolverDocument(R"(["10.0.0.2"])"))});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_FALSE(out["compliant"].GetBool());
    ASSERT_EQ(out["report"]["SETS"].Size(), 1u) << run.out;
    EXPECT_EQ(JsonText(out["report"]["SETS"][0]),
              R"({"path":"/net/dns/resolver/servers","desiredValue":"[\"10.0.0.2\"]",)"
              R"("hostValue":"[\"10.0.0.1\"]"})");

    // The same drift for people: the change and its path, then both values below it.
    std::string document = DocumentFile(ResolverDocument(R"(["10.0.0.2"])"));
    run = RunTarnctl({"compliance", document});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "The host is not compliant with " + document +
                           ": 1 difference.\n"
                           "set     /net/dns/resolver/servers\n"
                           "        desired  [\"10.0.0.2\"]\n"
                           "        host     [\"10.0.0.1\"]\n");
}

TEST_F(Compliance, ErrorsExitOneWithCodeAndMessageId) {
    TarnctlResult run = RunTarnctl({"--json", "compliance", "/nonexistent/doc.json"});
    EXPECT_EQ(run.exitCode, 1);
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_EQ(out["error"]["code"].GetInt(), 2080);
    EXPECT_STREQ(out["error"]["id"].GetString(),
                 "com.corvid.tarn.settings.configmanager.parse-error");
    EXPECT_EQ(JsonText(out["error"]["args"]), R"(["/nonexistent/doc.json"])");

    run = RunTarnctl({"compliance", DocumentFile(R"({"net": {"dns": {"nokey": {}}}})")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find("error 2021 (com.corvid.tarn.settings.configmanager.schema-not-found)"),
              std::string::npos)
        << run.err;

    run = RunTarnctl({"compliance", DocumentFile("[1, 2]")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("holds no JSON object"), std::string::npos) << run.err;
}

TEST_F(Compliance, HostSectionsOfThisHostCountOthersDoNot) {
    const std::string profile =
        R"({"profile": )" + ResolverDocument(R"(["10.0.0.1"])") + R"(, "host-specific": {")";
    const std::string section = R"(": )" + ResolverDocument(R"(["10.9.9.9"])") + "}}";
    // The fresh host's UUID, written in lower case: sections match it ignoring case.
    TarnctlResult run = RunTarnctl(
        {"compliance", DocumentFile(profile + "4c4c4544-0042-3510-8052-b4c04f503232" + section)});
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    run = RunTarnctl(
        {"compliance", DocumentFile(profile + "4c4c4544-0042-3510-8052-b4c04f509999" + section)});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

}  // namespace
}  // namespace TarnTest
