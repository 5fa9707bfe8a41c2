// tarnctl config get, set and delete against the demo host: the native NTP plugin and the
// Python switch plugin rewrite the host's files, the kernel options wait for a reboot.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "demo_host_fixture.h"
#include "json_test_text.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

const char kNtp[] = "system/time/ntp";
const char kTimesyncd[] = "etc/systemd/timesyncd.conf";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(DemoHostTest, ConfigSetGetAndDeleteOfTheNtpServers) {
    TarnctlResult run =
        RunTarnctl({"config", "set", kNtp, R"({"servers": ["ntp9.example.net"]})"}, "n\n");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Contains(run.out, "needs neither maintenance mode nor a reboot")) << run.out;
    EXPECT_TRUE(Contains(run.err, "cancelled: nothing was changed")) << run.err;
    EXPECT_FALSE(Contains(ReadFile(kTimesyncd), "ntp9.example.net"));

    run = RunTarnctl({"config", "set", "--yes", kNtp, R"({"servers": ["ntp9.example.net"]})"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "Set system/time/ntp.")) << run.out;
    EXPECT_TRUE(Contains(ReadFile(kTimesyncd), "\nNTP=ntp9.example.net\n"));

    run = RunTarnctl({"--json", "config", "get", kNtp});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_TRUE(out["default"].IsNull());
    EXPECT_EQ(JsonText(out["current"]), R"({"servers":["ntp9.example.net"]})");
    EXPECT_STREQ(out["schema"]["type"].GetString(), "object");
    run = RunTarnctl({"config", "get", kNtp});
    EXPECT_TRUE(Contains(run.out, "Current configuration:\n{\n    \"servers\": [\n")) << run.out;

    // Setting the same value again changes nothing.
    run = RunTarnctl({"--json", "config", "set", kNtp, R"({"servers": ["ntp9.example.net"]})"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "{\"result\":\"compliant\",\"impact\":\"none\"}\n");

    run = RunTarnctl({"--json", "config", "delete", "--yes", kNtp});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "{\"result\":\"deleted\",\"impact\":\"none\"}\n");
    EXPECT_FALSE(Contains(ReadFile(kTimesyncd), "\nNTP="));
}

TEST_F(DemoHostTest, ConfigSetRefusesBadValuesAndKeys) {
    std::string before = ReadFile(kTimesyncd);
    TarnctlResult run =
        RunTarnctl({"--json", "config", "set", "--yes", kNtp, R"({"servers": ["a b"]})"});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(ParseJson(run.out)["validation"]["errors"][0]["path"], "/servers/0") << run.out;
    for (const char* value : {"{", "{}", R"([{"servers": []}])"}) {
        run = RunTarnctl({"config", "set", "--yes", kNtp, value});
        EXPECT_EQ(run.exitCode, 1) << value;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    run = RunTarnctl({"config", "set", "--yes", "system/time", "{}"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "is not COMPONENT/GROUP/KEY")) << run.err;
    run = RunTarnctl({"config", "get", "system/time/nothing"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "2021")) << run.err;
    EXPECT_EQ(ReadFile(kTimesyncd), before);
}

TEST_F(DemoHostTest, ConfigSetNeedingARebootIsStoredAndBlocksTheKeyUntilTheBoot) {
    std::string value = DocumentFile(R"({"options": ["quiet"]})");
    TarnctlResult run =
        RunTarnctl({"--json", "config", "set", "--yes", "system/boot/kernel", "@" + value});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "{\"result\":\"reboot-pending\",\"impact\":\"reboot\"}\n");
    run = RunTarnctl({"config", "set", "--yes", "system/boot/kernel", "@" + value});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "2029")) << run.err;

    // A stored desired document blocks every key.
    ASSERT_EQ(RunTarnctl({"apply", "--yes", DemoDocument("reboot.json")}).exitCode, 0);
    run = RunTarnctl({"config", "delete", "--yes", kNtp});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "2029")) << run.err;
}

TEST_F(DemoHostTest, ConfigSetNeedingMaintenanceModeWaitsForIt) {
    Apply("desired.json");
    const char kSwitches[] = "network/vswitch/switches";
    TarnctlResult run = RunTarnctl({"--json", "config", "get", kSwitches});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    rapidjson::Document switches = ParseJson(run.out);
    rapidjson::Value& first = switches["current"][0];
    first["mtu"] = 1400;
    std::string value = JsonText(switches["current"]);
    run = RunTarnctl({"config", "set", "--yes", kSwitches, value});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.out, "needs maintenance mode")) << run.out;
    EXPECT_TRUE(Contains(run.err, "2026")) << run.err;
    ASSERT_EQ(RunTarnctl({"host", "maintenance", "enter"}).exitCode, 0);
    run = RunTarnctl({"--json", "config", "set", "--yes", kSwitches, value});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "{\"result\":\"set\",\"impact\":\"maintenance-mode\"}\n");
    run = RunTarnctl({"--json", "config", "get", kSwitches});
    EXPECT_EQ(ParseJson(run.out)["current"][0]["mtu"], 1400) << run.out;
}

// The program of docs/host-api.md is the example file, and it runs on the demo host.
TEST_F(DemoHostTest, TheHostApiExampleProgramSetsAndDeletesTheNtpServers) {
    std::string doc = ReadFile(TARN_SOURCE_DIR "/docs/host-api.md");
    std::string code = ReadFile(TARN_SOURCE_DIR "/examples/host-api/host_api_example.cpp");
    EXPECT_TRUE(Contains(doc, "```cpp\n" + code + "```\n"));
    const std::string out = TARN_BINARY_DIR "/host_api_example.out";
    int status = std::system(("timeout 120 " HOST_API_EXAMPLE_PATH " >" + out + " 2>&1").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(out);
    EXPECT_TRUE(Contains(ReadFile(out), "set and deleted")) << ReadFile(out);
    EXPECT_FALSE(Contains(ReadFile(kTimesyncd), "\nNTP="));
}

}  // namespace
}  // namespace TarnTest
