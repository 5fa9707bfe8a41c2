// tarnctl export and tarnctl telemetry on the demo host: the export is a desired document for
// the host it came from, and the demo's password hash never leaves through telemetry.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "demo_host_fixture.h"
#include "json_test_text.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"
#include "tarnctl_process.h"

namespace TarnTest {
namespace {

// The salt of the password hash desired.json gives the demo user: the canary secret.
const char kCanary[] = "demosalt";
// The unprivileged user that asks for secrets.
constexpr uid_t kNobody = 65534;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class DemoExport : public DemoHostTest {
protected:
    void SetUp() override {
        DemoHostTest::SetUp();
        Apply("desired.json");
        ASSERT_TRUE(Contains(ReadFile("etc/shadow"), kCanary));
    }
};

TEST_F(DemoExport, HostCompliesWithItsOwnExport) {
    std::string path = RootPath("export.json");
    TarnctlResult run = RunTarnctl({"export", "-o", path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "exported to " + path));
    std::string text = ReadFile(path);
    EXPECT_TRUE(Contains(text, "\"password_hash\": \"******\"")) << text;
    EXPECT_FALSE(Contains(text, kCanary));
    rapidjson::Document document = ParseJson(text);
    EXPECT_TRUE(document["metadata"]["reference_host"].HasMember("uuid"));
    run = RunTarnctl({"compliance", path});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;

    // To standard output: the same document, compact on one line with --compact.
    run = RunTarnctl({"export", "--compact"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1);
    EXPECT_EQ(JsonText(ParseJson(run.out)), JsonText(document));
}

TEST_F(DemoExport, TelemetryShowsTheNineValuesAndNoSecret) {
    TarnctlResult run = RunTarnctl({"telemetry"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("NAME", 0), 0u) << run.out;
    EXPECT_TRUE(Contains(run.out, "configManagerRowCount")) << run.out;
    EXPECT_TRUE(Contains(run.out, "string[]  [\"current_config rows=")) << run.out;
    std::string everything = run.out + run.err;

    run = RunTarnctl({"telemetry", "--json", "--exclude", "configManagerRowCount", "--start", "6",
                      "--limit", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_EQ(out["next"].GetInt(), 7) << run.out;
    ASSERT_TRUE(out["values"].HasMember("configManagerTarnConfig")) << run.out;
    rapidjson::Document exported = ParseJson(out["values"]["configManagerTarnConfig"].GetString());
    // Secrets are dropped from the telemetry view, not masked.
    EXPECT_FALSE(Contains(JsonText(exported["profile"]["security"]), "password_hash"));
    everything += run.out + run.err;

    run = RunTarnctl({"export", "--telemetry"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    everything += run.out + run.err;
    // A broken allowlist fails the telemetry with an error that names no secret either.
    WriteFile(std::string(TarnPaths::kTelemetryDir) + "broken.json", "[\"a\", 1]");
    run = RunTarnctl({"-vvv", "telemetry", "--name", "configManagerTarnConfig"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "error 1082")) << run.err;
    everything += run.out + run.err + ReadFile(TarnPaths::kLogFile);
    EXPECT_FALSE(Contains(everything, kCanary));
}

TEST_F(DemoExport, ExtractMasksTheHashUnlessRootAsksForIt) {
    for (bool json : {false, true}) {
        std::vector<std::string> args = {"extract", "current"};
        if (json) {
            args.push_back("--json");
        }
        TarnctlResult run = RunTarnctl(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_FALSE(Contains(run.out, kCanary)) << run.out;
        EXPECT_TRUE(Contains(run.out, "\"password_hash\":")) << run.out;
        EXPECT_TRUE(Contains(run.out, "\"******\"")) << run.out;
    }
    if (geteuid() == 0) {
        TarnctlResult run = RunTarnctl({"extract", "current", "--show-secrets"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Contains(run.out, kCanary)) << run.out;
    }
}

TEST_F(DemoExport, ShowSecretsIsRefusedToOtherUsers) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "running tarnctl as another user needs root";
    }
    // The whole root is handed to that user: only the check of the caller can refuse.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(TarnPaths::kRoot)) {
        ASSERT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0) << entry.path();
    }
    ASSERT_EQ(chown(TarnPaths::kRoot, kNobody, kNobody), 0);
    TarnctlResult run = RunTarnctlAs(kNobody, {"extract", "current"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "\"******\"")) << run.out;

    run = RunTarnctlAs(kNobody, {"extract", "current", "--show-secrets"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "tarnctl: error: --show-secrets is for root only\n");
    run = RunTarnctlAs(kNobody, {"extract", "current", "--json", "--show-secrets"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ParseJson(run.out)["error"]["message"], "--show-secrets is for root only");
    EXPECT_FALSE(Contains(run.out + run.err, kCanary));
}

TEST_F(DemoExport, BadOptionsAreMisuse) {
    EXPECT_EQ(RunTarnctl({"telemetry", "--limit", "many"}).exitCode, 1);
    TarnctlResult run = RunTarnctl({"export", "-o", RootPath("no/such/folder/x.json")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "cannot write")) << run.err;
}

}  // namespace
}  // namespace TarnTest
