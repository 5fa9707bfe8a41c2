// tarnctl against the demo host: its real plugins parse and rewrite the host's files, so these
// tests see drift, the cost of each kind of change, validation findings and Ctrl-C the way a
// user of the demo does.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "demo_host_fixture.h"
#include "json_test_text.h"
#include "plugin_install.h"
#include "schema_files.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The report entry of a path in one list (ADDS, DELETES, SETS), or null.
const rapidjson::Value* ReportEntry(const rapidjson::Value& report, const char* list,
                                    const std::string& path) {
    for (const rapidjson::Value& entry : report[list].GetArray()) {
        if (path == entry["path"].GetString()) {
            return &entry;
        }
    }
    return nullptr;
}

TEST_F(DemoHostTest, DriftIsReportedWithTheSecretMaskedUntilTheApply) {
    TarnctlResult run = RunTarnctl({"--json", "compliance", DemoDocument("desired.json")});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_FALSE(out["compliant"].GetBool());
    const rapidjson::Value& report = out["report"];
    EXPECT_NE(ReportEntry(report, "ADDS", "/network/vswitch/switches/1"), nullptr) << run.out;
    const rapidjson::Value* hash =
        ReportEntry(report, "SETS", "/security/accounts/users/0/password_hash");
    ASSERT_NE(hash, nullptr) << run.out;
    EXPECT_STREQ((*hash)["desiredValue"].GetString(), R"("******")");
    EXPECT_FALSE(Contains(run.out, "demosalt")) << run.out;

    run = RunTarnctl({"--json", "apply", "--yes", DemoDocument("desired.json")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ApplyOutcome(run.out), R"({"result":"applied","impact":"none","status":0})");
    run = RunTarnctl({"compliance", DemoDocument("desired.json")});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, "The host is compliant")) << run.out;

    EXPECT_TRUE(Contains(ReadFile("etc/resolv.conf"), "nameserver 192.0.2.53\n"));
    EXPECT_TRUE(Contains(ReadFile("etc/hosts"), "192.0.2.10\tmanager.example.net manager\n"));
    EXPECT_TRUE(
        Contains(ReadFile("etc/systemd/timesyncd.conf"), "\nNTP=ntp1.example.net 192.0.2.123\n"));
    EXPECT_TRUE(Contains(ReadFile("etc/shadow"), "tarn-demo:$6$demosalt$"));
    EXPECT_TRUE(Contains(ReadFile("etc/passwd"), "\nops:x:2002:2002::/home/ops:/bin/bash\n"));
    EXPECT_TRUE(Contains(ReadFile("etc/ssh/sshd_config"),
                         "\nMatch Address 192.0.2.0/24\n    PasswordAuthentication yes\n"));
}

TEST_F(DemoHostTest, SeededSshSettingsDriftUntilTheApplyRewritesThem) {
    // The layout seeds this machine's sshd_config when it has one; the fallback makes the
    // settings known whatever the machine holds.
    ASSERT_TRUE(PathExists("etc/ssh/sshd_config"));
    WriteFile("etc/ssh/sshd_config",
              ReadFile(TARN_SOURCE_DIR "/examples/demo-host/seed/sshd_config"));
    TarnctlResult run = RunTarnctl({"--json", "compliance", DemoDocument("desired.json")});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    const rapidjson::Value& report = out["report"];
    const rapidjson::Value* rootLogin =
        ReportEntry(report, "SETS", "/tarn/ssh/server_config/settings/0/values");
    ASSERT_NE(rootLogin, nullptr) << run.out;
    EXPECT_STREQ((*rootLogin)["desiredValue"].GetString(), R"(["no"])");
    EXPECT_STREQ((*rootLogin)["hostValue"].GetString(), R"(["prohibit-password"])");
    const rapidjson::Value* port =
        ReportEntry(report, "DELETES", "/tarn/ssh/server_config/settings/5");
    ASSERT_NE(port, nullptr) << run.out;
    EXPECT_STREQ((*port)["hostValue"].GetString(), R"({"keyword":"Port","values":["22"]})");
    EXPECT_NE(ReportEntry(report, "ADDS", "/tarn/ssh/server_config/blocks/0"), nullptr) << run.out;
    // For people, an index inside a path is named by its element's key property.
    run = RunTarnctl({"compliance", DemoDocument("desired.json")});
    EXPECT_TRUE(Contains(run.out,
                         "set     /tarn/ssh/server_config/settings/0/values  "
                         "(settings/0: keyword=PermitRootLogin)\n"))
        << run.out;
    EXPECT_TRUE(Contains(run.out,
                         "set     /security/accounts/users/0/shell  "
                         "(users/0: name=tarn-demo)\n"))
        << run.out;
    EXPECT_TRUE(Contains(run.out, "delete  /tarn/ssh/server_config/settings/5\n")) << run.out;

    Apply("desired.json");
    std::string written = ReadFile("etc/ssh/sshd_config");
    EXPECT_TRUE(Contains(written, "\nPermitRootLogin no\nPasswordAuthentication no\n")) << written;
    EXPECT_FALSE(Contains(written, "Port")) << written;
    run = RunTarnctl({"compliance", DemoDocument("desired.json")});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

TEST_F(DemoHostTest, AnMtuChangeWaitsForMaintenanceMode) {
    Apply("desired.json");
    const std::string netdev = "etc/systemd/network/50-tarn-vswitch1.netdev";
    TarnctlResult run = RunTarnctl({"--json", "impact", DemoDocument("maintenance.json")});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_STREQ(ParseJson(run.out)["impact"].GetString(), "maintenance-mode");

    run = RunTarnctl({"apply", "--yes", DemoDocument("maintenance.json")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "error 2026")) << run.err;
    EXPECT_TRUE(Contains(ReadFile(netdev), "MTUBytes=1500\n"));

    ASSERT_EQ(RunTarnctl({"host", "maintenance", "enter"}).exitCode, 0);
    run = RunTarnctl({"--json", "apply", "--yes", DemoDocument("maintenance.json")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_STREQ(ParseJson(run.out)["result"].GetString(), "applied-in-maintenance-mode");
    EXPECT_TRUE(Contains(ReadFile(netdev), "MTUBytes=9000\n"));
    EXPECT_EQ(RunTarnctl({"compliance", DemoDocument("maintenance.json")}).exitCode, 0);
}

TEST_F(DemoHostTest, AKernelOptionIsStoredForTheNextBoot) {
    Apply("maintenance.json", true);
    TarnctlResult run = RunTarnctl({"--json", "apply", "--yes", DemoDocument("reboot.json")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ApplyOutcome(run.out), R"({"result":"reboot-pending","impact":"reboot","status":1})");
    EXPECT_FALSE(PathExists("etc/default/grub.d/50-tarn-kernel.cfg"));
    EXPECT_EQ(RunTarnctl({"compliance", DemoDocument("reboot.json")}).exitCode, 2);

    run = RunTarnctl({"--json", "extract", "desired"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(JsonText(ParseJson(run.out)["system"]["boot"]["kernel"]),
              R"({"options":["intel_iommu=on","iommu=pt"]})");
}

TEST_F(DemoHostTest, ValidationReportsSchemaAndPluginFindings) {
    TarnctlResult run = RunTarnctl({"--json", "validate", DemoDocument("invalid.json")});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(JsonText(ParseJson(run.out)),
              R"({"errors":[{"path":"/network/hosts/entries/3/address","messages":[)"
              R"({"id":"com.example.demohost.hosts.not-an-address","args":["192.0.2.300"],)"
              R"("message":"network.hosts.entries@1"}]},)"
              R"({"path":"/network/vswitch/switches/1/mtu","messages":[)"
              R"({"id":"com.corvid.tarn.settings.validator.number-above-maximum",)"
              R"("args":["9216"],"message":""}]}]})");
    run = RunTarnctl({"validate", DemoDocument("desired.json")});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

TEST_F(DemoHostTest, InvalidDocumentsChangeNoFile) {
    std::map<std::string, std::string> before = HostFiles();
    rapidjson::Document injected;
    ASSERT_TRUE(TarnConfigStore::ParseJsonFile(DemoDocument("desired.json").c_str(), injected));
    injected["security"]["accounts"]["users"][1]["home"].SetString(
        "/home/ops\nbackdoor:x:0:0:injected:/root:/bin/bash", injected.GetAllocator());
    for (const std::string& document :
         {DemoDocument("invalid.json"), DocumentFile(JsonText(injected))}) {
        TarnctlResult run = RunTarnctl({"apply", "--yes", document});
        EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
        EXPECT_TRUE(Contains(run.out, " is invalid: ")) << run.out;
        EXPECT_TRUE(Contains(run.err, "Nothing was applied: the document is invalid")) << run.err;
        EXPECT_FALSE(Contains(run.err, "apply: ")) << run.err;
        EXPECT_EQ(RunTarnctl({"impact", document}).exitCode, 2);
    }
    EXPECT_TRUE(HostFiles() == before);
    EXPECT_FALSE(Contains(ReadFile("etc/passwd"), "backdoor"));
}

TEST_F(DemoHostTest, TheQuestionListsTheChangesWithTheSecretMasked) {
    TarnctlResult run = RunTarnctl({"apply", DemoDocument("desired.json")}, "y\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.err,
                         "set     /security/accounts/users/0/password_hash  "
                         "(users/0: name=tarn-demo)\n        desired  \"******\"\n"))
        << run.err;
    EXPECT_FALSE(Contains(run.err, "demosalt")) << run.err;
    EXPECT_TRUE(Contains(run.err, "without maintenance mode or reboot.\nApply ")) << run.err;
    EXPECT_TRUE(Contains(ReadFile("etc/shadow"), "tarn-demo:$6$demosalt$"));
}

// Values that would inject a line into a host file or break its format, by JSON pointer into
// desired.json, with the field a refusal must name.
struct BadValue {
    const char* pointer;
    const char* json;
    const char* field;        // in validate: the document path
    const char* applyArgs;    // in an apply: the path below the object's id, the detail
    const char* applyReason;  // the plugin's message id in an apply
    bool schemaAllowsIt;      // then the plugin's validate finds it
};

const BadValue kBadValues[] = {
    {"/security/accounts/users/1/home", R"("/home/ops\nbackdoor:x:0:0:injected:/root:/bin/bash")",
     "/security/accounts/users/1/home", "/security/accounts/users/ops/home, U+000A",
     "control-character", false},
    {"/security/accounts/users/0/password_hash", R"("$6$salt$hash:0:99999")",
     "/security/accounts/users/0/password_hash",
     "/security/accounts/users/tarn-demo/password_hash, ':'", "separator", false},
    {"/network/dns/resolver/nameservers", R"("192.0.2.53")", "/network/dns/resolver/nameservers",
     "/network/dns/resolver/nameservers, array", "wrong-type", false},
    {"/security/accounts/users/1/uid", "1e+23", "/security/accounts/users/1/uid",
     "/security/accounts/users/ops/uid, integer", "wrong-type", false},
    {"/system/time/ntp/servers/0", R"("ntp1.example.net\n[Time]")", "/system/time/ntp/servers/0",
     "/system/time/ntp/servers/0, U+000A", "control-character", false},
    {"/tarn/ssh/server_config/settings/0/values/0", R"("no\nPermitRootLogin yes")",
     "/tarn/ssh/server_config/settings/0/values/0",
     "/tarn/ssh/server_config/settings/0/values/0, U+000A", "control-character", true},
};

TEST_F(DemoHostTest, ValidationRefusesValuesThatWouldCorruptAHostFile) {
    for (const BadValue& bad : kBadValues) {
        TarnctlResult run =
            RunTarnctl({"--json", "validate", DesiredDocumentWith({{bad.pointer, bad.json}})});
        EXPECT_EQ(run.exitCode, 2) << bad.pointer << run.err;
        rapidjson::Document out = ParseJson(run.out);
        ASSERT_TRUE(out.HasMember("errors")) << run.out;
        ASSERT_EQ(out["errors"].Size(), 1u) << run.out;
        EXPECT_STREQ(out["errors"][0]["path"].GetString(), bad.field) << run.out;
        if (bad.schemaAllowsIt) {
            const rapidjson::Value& message = out["errors"][0]["messages"][0];
            EXPECT_STREQ(message["id"].GetString(), "com.example.demohost.control-character");
            EXPECT_EQ(JsonText(message["args"]), R"(["U+000A"])");
        }
    }
}

// An apply that skips validation reaches the plugins with the bad value: each refuses it
// before writing, and no host file changes.
TEST_F(DemoHostTest, ThePluginsApplyRefusesABadValueBeforeWritingAnything) {
    Apply("desired.json");
    const std::map<std::string, std::string> compliant = HostFiles();
    for (const BadValue& bad : kBadValues) {
        TarnctlResult run =
            RunTarnctl(UnvalidatedApply(DesiredDocumentWith({{bad.pointer, bad.json}})));
        EXPECT_EQ(run.exitCode, 1) << bad.pointer << run.err;
        EXPECT_TRUE(Contains(run.err, std::string("tarnctl: error (com.example.demohost.") +
                                          bad.applyReason + "): apply did not finish [" +
                                          bad.applyArgs + "]\n"))
            << run.err;
        EXPECT_TRUE(HostFiles() == compliant) << bad.pointer;
        EXPECT_FALSE(PathExists(TarnPaths::kPluginInputFile));
        EXPECT_FALSE(PathExists(TarnPaths::kPluginOutputFile));
    }
    EXPECT_EQ(RunTarnctl({"compliance", DemoDocument("desired.json")}).exitCode, 0);
}

TEST_F(DemoHostTest, APluginThatCannotReadItsFileBackNamesIt) {
    WriteFile("etc/passwd", ReadFile("etc/passwd") + "ops:x:2002\n");
    TarnctlResult run = RunTarnctl({"compliance", DemoDocument("desired.json")});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    // The extraction names the plugin, and the plugin's own error follows it.
    EXPECT_TRUE(Contains(run.err, "Extract plugin failed: security:accounts:users "
                                  "[security:accounts:users]; the plugin reports "
                                  "com.example.demohost.unparsable-line [" +
                                      RootPath("etc/passwd") + ", "))
        << run.err;
    run = RunTarnctl({"--json", "compliance", DemoDocument("desired.json")});
    rapidjson::Document out = ParseJson(run.out);
    ASSERT_TRUE(out.HasMember("error")) << run.out;
    EXPECT_STREQ(out["error"]["cause"]["id"].GetString(), "com.example.demohost.unparsable-line");
    std::string log = ReadFile(TarnPaths::kLogFile);
    EXPECT_TRUE(Contains(log,
                         "Extract plugin security:accounts:users reported "
                         "com.example.demohost.unparsable-line [" +
                             RootPath("etc/passwd") + ", "))
        << log;
    EXPECT_TRUE(Contains(log, ", 3 fields instead of 7]")) << log;
}

// A plugin for one more key whose apply hangs until it is stopped.
const char kHangingPlugin[] = R"(import signal
import tarn_plugin as tp

@tp.extract
def extract(request):
    return [tp.ConfigObject(key, {"on": False}) for key in request.ids]

@tp.apply
def apply(request):
    open(request.host_path("/var/corvid/lifecycle/apply-hanging"), "w").close()
    while True:
        signal.pause()
)";

TEST_F(DemoHostTest, CtrlCDuringAnApplyLeavesNothingBehind) {
    InstallKeySchema(kTestPluginComponent, kTestPluginGroup, kTestPluginKey,
                     R"({"type": "object", "properties": {"on": {"type": "boolean"}}})", "");
    std::string folder = std::string(TarnPaths::kPluginDir) + kTestPluginComponent + "/" +
                         kTestPluginGroup + "/" + kTestPluginKey + "/";
    WriteFile(folder + "manifest.json", R"({"version": 3, "type": "python",
        "apply": {"apply_group": "system", "boot": false,
                  "REMEDIATE": {"provides": "REMEDIATE:testing:plugins:probe", "depends": []}},
        "extract": {"supports": true}})");
    WriteFile(folder + "plugin.py", kHangingPlugin);
    rapidjson::Document desired;
    ASSERT_TRUE(TarnConfigStore::ParseJsonFile(DemoDocument("desired.json").c_str(), desired));
    rapidjson::Document probe = ParseJson(kProbeDocument);
    desired.AddMember("testing", probe["testing"], desired.GetAllocator());

    TarnctlProcess tarnctl({"apply", "--yes", DocumentFile(JsonText(desired))});
    ASSERT_TRUE(AwaitFile(RootPath("var/corvid/lifecycle/apply-hanging")))
        << "the plugin never hung";
    tarnctl.Interrupt();
    TarnctlResult run = tarnctl.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_TRUE(Contains(run.err,
                         "tarnctl: error (com.corvid.tarn.settings.apply.plugin.aborted): "
                         "apply did not finish [testing:plugins:probe]"))
        << run.err;
    EXPECT_FALSE(tarnctl.GroupAlive());
    EXPECT_FALSE(PathExists(TarnPaths::kPluginInputFile));
    EXPECT_FALSE(PathExists(TarnPaths::kPluginOutputFile));
}

}  // namespace
}  // namespace TarnTest
