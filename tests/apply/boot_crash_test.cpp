// The deployment files' hand-over across a reboot, killed at every fault point of the store:
// a child process bootstraps (or boots) and dies by SIGKILL at the n-th point, for every n in
// turn. Each time the files are on disk (whole) or committed in the store, never neither; the
// database passes its integrity check; and the next boot puts everything where it belongs.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

#include "apply_host.h"
#include "crash_child.h"
#include "deradidezivizoda/apply/boot_apply.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/db_store.h"
#include "tarn/paths.h"

namespace {

using namespace TarnConfigManager;
using namespace TarnTest;

const char kNotification[] = "{\n  \"waiter\": \"10.0.0.1\"\n}\n";
const char kNotificationStored[] = R"({"waiter":"10.0.0.1"})";
const char kFirewall[] = "<zone>\n  <service name=\"ssh\"/>\n</zone>\n";

std::string IntegrityCheck() {
    sqlite3* db = nullptr;
    sqlite3_open_v2(TarnPaths::kConfigStoreDb, &db, SQLITE_OPEN_READONLY, nullptr);
    std::string result;
    sqlite3_exec(
        db, "PRAGMA integrity_check",
        [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) += values[0] ? values[0] : "";
            return 0;
        },
        &result, nullptr);
    sqlite3_close(db);
    return result;
}

std::shared_ptr<TarnConfigStore::ConfigStoreObject> PreservingObject() {
    return TarnConfigStore::ConfigStore::GetStore(TarnConfigStore::sGlobalNamespace)
        ->GetObject({"fleetboot", "bootstrap", "tarn"});
}

class BootCrashTest : public ApplyHostTest {
protected:
    void SetUp() override {
        ApplyHostTest::SetUp();
        WriteFile(document, Text(Desired({{"/host/boot/kernel/args", "\"debug\""}})));
    }

    // The host before the bootstrap: nothing stored, both files on disk.
    void Deploy() {
        auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
        connection->Execute("DELETE FROM desired_config; DELETE FROM store_objects");
        PutCurrent(kHostDocument);
        for (const char* path : {TarnPaths::kWaiterNotifyFile, TarnPaths::kFleetbootFirewallFile}) {
            std::remove((std::string(path) + ".handover").c_str());
        }
        WriteFile(TarnPaths::kWaiterNotifyFile, kNotification);
        WriteFile(TarnPaths::kFleetbootFirewallFile, kFirewall);
    }

    // One file is whole at its path or beside it, or its text is committed; a file at its
    // path is never torn.
    static void ExpectKept(const char* path, const char* attribute, const std::string& original,
                           const std::string& stored, unsigned point) {
        SCOPED_TRACE(std::string(path) + " after fault point " + std::to_string(point));
        std::string committed;
        auto object = PreservingObject();
        bool inStore = object && object->GetValue(attribute, &committed) && committed == stored;
        bool onDisk = PathExists(path);
        if (onDisk) {
            EXPECT_TRUE(ReadFile(path) == original || ReadFile(path) == stored) << ReadFile(path);
        }
        std::string aside = std::string(path) + ".handover";
        bool besideIt = PathExists(aside) && ReadFile(aside) == original;
        EXPECT_TRUE(onDisk || besideIt || inStore);
    }

    void ExpectSafe(unsigned point) {
        EXPECT_EQ("ok", IntegrityCheck()) << "after fault point " << point;
        ExpectKept(TarnPaths::kWaiterNotifyFile, "waiter_notify", kNotification,
                   kNotificationStored, point);
        ExpectKept(TarnPaths::kFleetbootFirewallFile, "firewall", kFirewall, kFirewall, point);
    }

    // The next boot: both files back at their paths, nothing left beside them or stored.
    void ExpectTheBootRestores(unsigned point) {
        SCOPED_TRACE("boot after fault point " + std::to_string(point));
        ExecuteBootPlugins();
        std::string notification = ReadFile(TarnPaths::kWaiterNotifyFile);
        EXPECT_TRUE(notification == kNotification || notification == kNotificationStored)
            << notification;
        EXPECT_EQ(kFirewall, ReadFile(TarnPaths::kFleetbootFirewallFile));
        EXPECT_FALSE(PathExists(std::string(TarnPaths::kWaiterNotifyFile) + ".handover"));
        EXPECT_FALSE(PathExists(std::string(TarnPaths::kFleetbootFirewallFile) + ".handover"));
        EXPECT_FALSE(PreservingObject());
    }

    const std::string document = RootPath("var/tmp/boot.json");
};

TEST_F(BootCrashTest, KilledAtEveryStepOfTheBootstrap) {
    Deploy();
    auto bootstrap = [this] {
        if (ApplyBootDocument(document) != 0) {
            throw std::runtime_error("bootstrap failed");
        }
    };
    ChildEnd whole = RunInChild(0, bootstrap);
    ASSERT_GT(whole.exitCode, 0) << "no fault point on the way, or the bootstrap failed";
    unsigned points = static_cast<unsigned>(whole.exitCode);
    for (unsigned point = 1; point <= points; ++point) {
        Deploy();
        ASSERT_TRUE(RunInChild(point, bootstrap).killed) << "fault point " << point;
        ExpectSafe(point);
        ExpectTheBootRestores(point);
    }
}

TEST_F(BootCrashTest, KilledAtEveryStepOfTheBoot) {
    Deploy();
    ASSERT_EQ(0, ApplyBootDocument(document));
    ChildEnd whole = RunInChild(0, ExecuteBootPlugins);
    ASSERT_GT(whole.exitCode, 0) << "no fault point on the way, or the boot failed";
    unsigned points = static_cast<unsigned>(whole.exitCode);
    for (unsigned point = 1; point <= points; ++point) {
        Deploy();
        ASSERT_EQ(0, ApplyBootDocument(document));
        ASSERT_TRUE(RunInChild(point, ExecuteBootPlugins).killed) << "fault point " << point;
        ExpectSafe(point);
        ExpectTheBootRestores(point);
    }
}

}  // namespace
