// The boot-time apply against the test host: a bootstrap document applied at once or kept
// (with the deployment files) for the next boot, the boot that restores and applies it with
// the boot-capable plugins only, the boot apply record and the status reported after boot,
// and the boot-time tasks of a document.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "apply_host.h"
#include "deradidezivizoda/apply/boot_apply.h"
#include "deradidezivizoda/core/error_codes.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "expect_store_error.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace {

using namespace TarnConfigManager;
using namespace TarnTest;

const char kNotification[] = "{ \"waiter\": \"10.0.0.1\",\n  \"port\": 8443 }\n";
const char kNotificationStored[] = R"({"waiter":"10.0.0.1","port":8443})";
const char kFirewall[] = "<zone>\n  <service name=\"ssh\"/>\n</zone>\n";

std::shared_ptr<TarnConfigStore::ConfigStoreObject> PreservingObject() {
    return TarnConfigStore::ConfigStore::GetStore(TarnConfigStore::sGlobalNamespace)
        ->GetObject({"fleetboot", "bootstrap", "tarn"});
}

std::string Attribute(const TarnConfigStore::ConfigStoreObject& object, const char* name) {
    std::string text;
    EXPECT_TRUE(object.GetValue(name, &text)) << name;
    return text;
}

bool DesiredStored() {
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    return !TarnConfigStore::GetDesiredUserConfigContents(connection).empty();
}

class BootApplyTest : public ApplyHostTest {
protected:
    void SetUp() override {
        ApplyHostTest::SetUp();
        WriteFile(TarnPaths::kWaiterNotifyFile, kNotification);
        WriteFile(TarnPaths::kFleetbootFirewallFile, kFirewall);
    }

    // Writes document to a file and bootstraps the host from it.
    int Bootstrap(const rapidjson::Value& document) {
        WriteFile(bootDocument, Text(document));
        return ApplyBootDocument(bootDocument);
    }

    // The files as the test wrote them; and nothing else beside them.
    static void ExpectDeploymentFilesOnDisk() {
        EXPECT_EQ(kNotification, ReadFile(TarnPaths::kWaiterNotifyFile));
        EXPECT_EQ(kFirewall, ReadFile(TarnPaths::kFleetbootFirewallFile));
        EXPECT_FALSE(PathExists(std::string(TarnPaths::kWaiterNotifyFile) + ".handover"));
        EXPECT_FALSE(PathExists(std::string(TarnPaths::kFleetbootFirewallFile) + ".handover"));
    }

    const std::string bootDocument = RootPath("var/tmp/boot.json");
};

TEST_F(BootApplyTest, ADocumentWithoutRebootIsAppliedAtOnceAndTheFilesStay) {
    rapidjson::Document desired = Desired({{"/host/time/zone/zone", "\"CET\""}});
    CSLogger::Capture log;
    EXPECT_EQ(0, Bootstrap(desired));
    EXPECT_TRUE(log.Contains(2, "Validated host configuration document."));
    EXPECT_TRUE(log.Contains(2, "Host boostrap with configuration successful."));
    EXPECT_EQ(std::vector<std::string>{"storetest:zone"}, AppliedPlugins());
    EXPECT_TRUE(Complies(Desired({{"/host/time/zone/zone", "\"CET\""}})));
    ExpectDeploymentFilesOnDisk();
    EXPECT_FALSE(PreservingObject());
    EXPECT_FALSE(DesiredStored());

    Configure("storetest:zone", R"({"apply": "fail"})");
    EXPECT_EQ(1, Bootstrap(Desired({{"/host/time/zone/zone", "\"EST\""}})));
    EXPECT_TRUE(log.Contains(0, "Failed to boostrap host with configuration."));
}

TEST_F(BootApplyTest, ARebootDocumentIsKeptAndTheNextBootRestoresAndAppliesItOnce) {
    const std::vector<std::pair<std::string, std::string>> changes = {
        {"/host/boot/kernel/args", "\"debug\""},
        {"/host/time/zone/zone", "\"CET\""},
        {"/host/net/links/0/speed", "10"}};
    rapidjson::Document desired = Desired(changes);
    CSLogger::Capture log;
    EXPECT_EQ(0, Bootstrap(desired));
    EXPECT_TRUE(log.Contains(2, std::string("Preserving {") + TarnPaths::kWaiterNotifyFile +
                                    "} contents in ConfigStore."));
    EXPECT_TRUE(log.Contains(2,
                             "ApplyConfig updated the host with the desired configuration "
                             "document, host must be rebooted for it to take effect."));
    EXPECT_TRUE(AppliedPlugins().empty());
    EXPECT_FALSE(PathExists(TarnPaths::kWaiterNotifyFile));
    EXPECT_FALSE(PathExists(TarnPaths::kFleetbootFirewallFile));
    auto object = PreservingObject();
    ASSERT_TRUE(object);
    EXPECT_EQ(kNotificationStored, Attribute(*object, "waiter_notify"));
    EXPECT_EQ(kFirewall, Attribute(*object, "firewall"));
    EXPECT_EQ(ConfigStoreDocument::NormalizeValue(Desired(changes)),
              ConfigStoreDocument::NormalizeValue(ExtractDesiredConfiguration()));

    // The boot: the files come back, and only the boot-capable plugins apply.
    TarnConfigStore::MarkBootStarted();
    ExecuteBootPlugins();
    EXPECT_EQ(kNotificationStored, ReadFile(TarnPaths::kWaiterNotifyFile));
    EXPECT_EQ(kFirewall, ReadFile(TarnPaths::kFleetbootFirewallFile));
    EXPECT_FALSE(PreservingObject());
    std::vector<std::string> applied = AppliedPlugins();
    std::sort(applied.begin(), applied.end());
    EXPECT_EQ((std::vector<std::string>{"storetest:boot", "storetest:links"}), applied);
    EXPECT_TRUE(log.Contains(0,
                             "Plugin=storetest:zone does not support boot-time remediation for "
                             "csoid=comp host grp time key zone"));
    EXPECT_TRUE(Complies(
        Desired({{"/host/boot/kernel/args", "\"debug\""}, {"/host/net/links/0/speed", "10"}})));
    EXPECT_EQ(BOOT_APPLY_NOT_COMPLETE, GetBootApplyInfo().status);
    TarnConfigStore::MarkBootComplete();
    BootApplyInfo info = GetBootApplyInfo();
    EXPECT_EQ(BOOT_APPLY_OK, info.status);
    EXPECT_TRUE(info.failures.empty());

    // A later boot restores nothing: the files were handed back once.
    std::remove(TarnPaths::kWaiterNotifyFile);
    ExecuteBootPlugins();
    EXPECT_FALSE(PathExists(TarnPaths::kWaiterNotifyFile));
}

TEST_F(BootApplyTest, AFileThatCannotBeRestoredKeepsItsTextForTheNextBoot) {
    ASSERT_EQ(0, Bootstrap(Desired({{"/host/boot/kernel/args", "\"debug\""}})));
    std::string folder = TarnPaths::kFleetbootFirewallFile;
    folder = folder.substr(0, folder.rfind('/'));
    std::filesystem::remove_all(folder);
    WriteFile(folder, "a file where the folder was");
    try {
        ExecuteBootPlugins();
        ADD_FAILURE() << "the boot went on without the firewall file";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ("Failed to create fleetboot.xml", error.what());
    }
    EXPECT_EQ(kNotificationStored, ReadFile(TarnPaths::kWaiterNotifyFile));
    ASSERT_TRUE(PreservingObject());
    EXPECT_TRUE(AppliedPlugins().empty());

    std::remove(folder.c_str());
    std::filesystem::create_directories(folder);
    ExecuteBootPlugins();
    EXPECT_EQ(kFirewall, ReadFile(TarnPaths::kFleetbootFirewallFile));
    EXPECT_FALSE(PreservingObject());
}

TEST_F(BootApplyTest, ABootWithNothingStoredLeavesTheHostAlone) {
    CSLogger::Capture log;
    ExecuteBootPlugins();
    EXPECT_TRUE(PluginCalls().empty());
    EXPECT_TRUE(log.Contains(2, "No desired configuration is stored: nothing to apply at boot."));
    EXPECT_TRUE(Complies(Json(kHostDocument)));
    ExpectDeploymentFilesOnDisk();
    TarnConfigStore::MarkBootComplete();
    EXPECT_EQ(BOOT_APPLY_OK, GetBootApplyInfo().status);
}

TEST_F(BootApplyTest, ABootPluginThatFailsIsRecordedAndReported) {
    TarnConfigStore::SetDesiredUserConfig(Desired({{"/host/boot/kernel/args", "\"debug\""}}));
    Configure("storetest:boot", R"({"apply": "fail"})");
    CSLogger::Capture log;
    TarnConfigStore::MarkBootStarted();
    time_t before = time(nullptr);
    ExecuteBootPlugins();
    EXPECT_TRUE(log.Contains(0, "Failed to apply boot-time configuration errId=test.apply.failed"));
    TarnConfigStore::AddBootTimeRestoreFailure("host", "net", "links");
    TarnConfigStore::MarkBootComplete();
    BootApplyInfo info = GetBootApplyInfo();
    EXPECT_EQ(BOOT_APPLY_FAILED, info.status);
    ASSERT_EQ(2u, info.failures.size());
    EXPECT_EQ("test.apply.failed", info.failures[0].error.id);
    EXPECT_EQ(std::vector<std::string>{"storetest:boot"}, info.failures[0].error.args);
    EXPECT_LE(before, info.failures[0].time);
    EXPECT_EQ(kBootRestoreFailed, info.failures[1].error.id);
    EXPECT_TRUE(
        log.Contains(0, "Detected failure during boot-time apply. ErrId: test.apply.failed"));
}

TEST_F(BootApplyTest, BadBootDocumentsCommitNothingAndLeaveTheFiles) {
    rapidjson::Document reboot = Desired({{"/host/boot/kernel/args", "\"debug\""}});
    CSLogger::Capture log;

    // Invalid: a value of the wrong type, a key without a schema.
    EXPECT_EQ(1, Bootstrap(Desired({{"/host/time/zone/zone", "5"}})));
    EXPECT_TRUE(log.Contains(0, "Failed to validate boot configuration document"));
    EXPECT_EQ(1, Bootstrap(Desired({{"/host/time/nothing", "{}"}})));
    EXPECT_TRUE(log.Contains(0, "Failed to generate schema for boot document"));
    WriteFile(bootDocument, "{\"host\": ");
    EXPECT_THROW(ApplyBootDocument(bootDocument), ConfigManagerException);

    // A reboot without one of the deployment files.
    std::remove(TarnPaths::kWaiterNotifyFile);
    EXPECT_EQ(1, Bootstrap(reboot));
    EXPECT_TRUE(
        log.Contains(0, "Failed to bootstrap host error=waiterNotify.json file does not exists."));
    EXPECT_EQ(kFirewall, ReadFile(TarnPaths::kFleetbootFirewallFile));
    WriteFile(TarnPaths::kWaiterNotifyFile, kNotification);
    std::remove(TarnPaths::kFleetbootFirewallFile);
    EXPECT_EQ(1, Bootstrap(reboot));
    EXPECT_TRUE(log.Contains(
        0, "Failed to bootstrap host error=fleetboot.xml firewall config does not exists."));
    EXPECT_EQ(kNotification, ReadFile(TarnPaths::kWaiterNotifyFile));

    // A notification file that is not JSON fails after the files were checked.
    WriteFile(TarnPaths::kFleetbootFirewallFile, kFirewall);
    WriteFile(TarnPaths::kWaiterNotifyFile, "not json");
    EXPECT_EQ(1, Bootstrap(reboot));
    EXPECT_EQ("not json", ReadFile(TarnPaths::kWaiterNotifyFile));

    EXPECT_FALSE(DesiredStored());
    EXPECT_FALSE(PreservingObject());
    EXPECT_TRUE(AppliedPlugins().empty());
    EXPECT_EQ(TarnConfigStore::NORMAL, TarnConfigStore::GetBootMode());
}

TEST_F(BootApplyTest, ARecordReadsBackAsTheSameErrorAndSecond) {
    BootApplyErrorInfo record(time(nullptr), ErrorInfo("a.b.c", {"x", "y z"}, "it failed"));
    BootApplyErrorInfo back;
    back.Deserialize(record.Serialize());
    EXPECT_EQ(record.error, back.error);
    EXPECT_EQ(record.time, back.time);
    EXPECT_NE(std::string::npos, record.Serialize().find("\"errorInfo\":"));

    BootApplyErrorInfo success;
    success.Deserialize(R"({"errorInfo":"{}","time":"01-02-2025 03-04-05"})");
    EXPECT_TRUE(success.error.id.empty());
    struct tm local {};
    localtime_r(&success.time, &local);
    EXPECT_EQ(125, local.tm_year);
    EXPECT_EQ(1, local.tm_mon);
    EXPECT_EQ(5, local.tm_sec);
    EXPECT_EQ(1082, StoreErrorCode([] {
                  BootApplyErrorInfo bad;
                  bad.Deserialize(R"({"time":"yesterday"})");
              }));
}

TEST_F(BootApplyTest, TheStatusWaitsForTheBootToComplete) {
    TarnConfigStore::MarkBootStarted();
    TarnConfigStore::setBootApplyRecord(BootApplyErrorInfo(time(nullptr), {}).Serialize());
    TarnConfigStore::AddBootTimeRestoreFailure("host", "net", "links");
    TarnConfigStore::AddBootTimeRestoreFailure("host", "time", "zone");
    BootApplyInfo info = GetBootApplyInfo();
    EXPECT_EQ(BOOT_APPLY_NOT_COMPLETE, info.status);
    EXPECT_TRUE(info.failures.empty());

    TarnConfigStore::MarkBootComplete();
    CSLogger::Capture log;
    info = GetBootApplyInfo();
    EXPECT_EQ(BOOT_APPLY_FAILED, info.status);
    ASSERT_EQ(2u, info.failures.size());
    EXPECT_EQ(kBootRestoreFailed, info.failures[0].error.id);
    EXPECT_EQ((std::vector<std::string>{"host", "time", "zone"}), info.failures[1].error.args);
    EXPECT_TRUE(log.Contains(0,
                             "Failed to apply configuration during boot for component: host, "
                             "group: net and key: links"));

    TarnConfigStore::setBootApplyRecord("not a record");
    EXPECT_EQ(1082, StoreErrorCode([] { GetBootApplyInfo(); }));
}

TEST_F(BootApplyTest, BootTimeTasksCoverEveryObjectWithoutComparing) {
    rapidjson::Document document = Json(R"({"profile": {"host": {
        "time": {"zone": {"zone": "UTC"}},
        "net": {"links": [{"name": "a"}, {"name": "b"}, {"name": "c"}]}}}})");
    std::vector<DesiredConfigInput> tasks = GenerateBootTimeTasks(document);
    ASSERT_EQ(4u, tasks.size());
    EXPECT_EQ("SET", tasks[0].operation);
    EXPECT_EQ("comp host grp time key zone", tasks[0].object->GetConfigStoreObjectId().toString());
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ("ADD", tasks[i].operation);
        EXPECT_EQ(std::string(1, static_cast<char>('a' + i - 1)),
                  tasks[i].object->GetConfigStoreObjectId().GetInstanceId());
        EXPECT_FALSE(tasks[i].drift);
    }
    EXPECT_EQ(SCHEMA_NOT_FOUND, StoreErrorCode([] {
                  GenerateBootTimeTasks(Json(R"({"host": {"time": {"nothing": {}}}})"));
              }));
    EXPECT_EQ(1082,
              StoreErrorCode([] { GenerateBootTimeTasks(Json(R"({"host": {"time": 1}})")); }));
}

}  // namespace
