// CheckApply then Apply against the test host: plugin order, progress and notifications; the
// maintenance-mode and reboot outcomes; a host that changed in between; the drift cache on its
// way to the impact plugins; aborts and failing plugins.
#include <gtest/gtest.h>

#include <algorithm>

#include "apply_host.h"
#include "deadline.h"
#include "deradidezivizoda/apply/apply.h"
#include "deradidezivizoda/apply/remediate_host.h"
#include "deradidezivizoda/core/error_codes.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "deradidezivizoda/plugins/plugin_manager.h"
#include "expect_store_error.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace {

using namespace TarnConfigManager;
using namespace TarnTest;
using TarnConfigStore::BOOTMODE;

// The task keys among keys, in the dependency order of the apply plugins.
std::vector<std::string> InDependencyOrder(const std::vector<std::string>& keys) {
    std::vector<std::string> ordered;
    for (const std::string& name : PluginManager(APPLY).GetDependencies()) {
        if (std::find(keys.begin(), keys.end(), name) != keys.end()) {
            ordered.push_back(name);
        }
    }
    return ordered;
}

class ApplyTest : public ApplyHostTest {
protected:
    std::shared_ptr<CheckApplyResult> Check(rapidjson::Document document) {
        auto result = CheckApply(document, "ctx", std::make_shared<RecordingTask>());
        EXPECT_TRUE(result);
        return result;
    }

    std::shared_ptr<RecordingTask> task = std::make_shared<RecordingTask>();
};

const std::vector<std::pair<std::string, std::string>> kNoImpactChange = {
    {"/host/net/links/0/speed", "10"},
    {"/host/net/links/2", R"({"name": "eth2", "mtu": 1500, "enabled": true, "speed": 10})"},
    {"/host/time/zone/zone", "\"CET\""},
    {"/host/time/ntp/servers/1", "\"b.example\""}};

TEST_F(ApplyTest, AChangeWithoutImpactIsAppliedInDependencyOrder) {
    TarnConfigStore::SetBootMode(TarnConfigStore::DESIRED_PENDING);
    auto check = Check(Desired(kNoImpactChange));
    EXPECT_EQ(NO_IMPACT, check->impact);
    ApplyResult result = Apply(check, task);
    EXPECT_EQ(APPLY_SUCCESS, result.status);
    EXPECT_TRUE(result.error.id.empty()) << result.error.id;

    // links (network) before zone (system) before ntp (system, after SET:storetest:zone).
    EXPECT_EQ((std::vector<std::string>{"storetest:links", "storetest:links", "storetest:zone",
                                        "host:time:ntp"}),
              AppliedPlugins());
    std::vector<std::string> keys{"ADD:storetest:links", "SET:storetest:links",
                                  "SET:storetest:zone", "REMEDIATE:host:time:ntp"};
    std::vector<std::string> expected = InDependencyOrder(keys);
    ASSERT_EQ(4u, expected.size());
    std::vector<rapidjson::Document> calls = PluginCalls();
    std::vector<std::string> runs;
    for (const rapidjson::Document& call : calls) {
        if (call["operation"] == "APPLY") {
            std::string operation = call["inputs"][0]["operation"].GetString();
            std::string plugin = call["plugin"].GetString();
            runs.push_back((plugin == "host:time:ntp" ? "REMEDIATE" : operation) + ":" + plugin);
            EXPECT_EQ(1u, call["inputs"].Size()) << runs.back();
        }
    }
    EXPECT_EQ(expected, runs);

    // Impact progress on the task, apply progress and notifications on the second child.
    EXPECT_EQ((std::vector<int>{2, 2}), task->childWeights);
    EXPECT_EQ((std::vector<float>{20, 60, 100}), task->progress);
    const RecordingTask& applyTask = *task->children.at(1);
    EXPECT_EQ((std::vector<float>{20, 40, 60, 80, 100}), applyTask.progress);
    ASSERT_EQ(8u, applyTask.notifications.size());
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(i % 2 ? kApplyPluginFinished : kApplyPluginStarted,
                  applyTask.notifications[i].id);
        EXPECT_EQ(AppliedPlugins()[i / 2], applyTask.notifications[i].args.at(0));
    }

    EXPECT_TRUE(Complies(Desired(kNoImpactChange)));
    rapidjson::Document again = Desired(kNoImpactChange);
    EXPECT_FALSE(CheckApply(again, "", task));
    EXPECT_EQ(TarnConfigStore::NORMAL, TarnConfigStore::GetBootMode());
}

TEST_F(ApplyTest, MaintenanceModeIsRequiredBeforeAnythingIsApplied) {
    auto change = {std::make_pair(std::string("/host/storage/cache/size"), std::string("2"))};
    auto check = Check(Desired(change));
    EXPECT_EQ(MAINTENANCE_MODE_REQUIRED, check->impact);
    EXPECT_EQ(NOT_IN_MAINT_MODE, StoreErrorCode([&] { Apply(check, task); }));
    EXPECT_THROW(Apply(check, task), HostNotInMM);
    EXPECT_TRUE(AppliedPlugins().empty());
    EXPECT_TRUE(Complies(Json(kHostDocument)));

    WriteFile(TarnPaths::kMaintenanceModeFile, "1\n");
    // A plugin that fails in maintenance mode: the error, and no success in maintenance mode.
    Configure("storetest:storage", R"({"apply": "fail"})");
    ApplyResult failed = Apply(check, task);
    EXPECT_FALSE(failed.error.id.empty());
    EXPECT_EQ(APPLY_SUCCESS, failed.status);

    Configure("storetest:storage", R"({"apply": "write"})");
    ApplyResult result = Apply(check, task);
    EXPECT_TRUE(result.error.id.empty()) << result.error.id;
    EXPECT_EQ(APPLY_SUCCESS_IN_MAINTENANCE_MODE, result.status);
    EXPECT_TRUE(Complies(Desired(change)));
}

TEST_F(ApplyTest, ARebootStoresTheDocumentForTheNextBoot) {
    rapidjson::Document desired =
        Desired({{"/host/boot/kernel/args", "\"debug\""}, {"/host/net/links/1/mtu", "9000"}});
    auto check = Check(Json(Text(desired)));
    EXPECT_EQ(REBOOT_REQUIRED, check->impact);
    ApplyResult result = Apply(check, task);
    EXPECT_EQ(APPLY_REBOOT_PENDING, result.status);
    EXPECT_TRUE(result.error.id.empty());
    EXPECT_TRUE(AppliedPlugins().empty());
    EXPECT_TRUE(Complies(Json(kHostDocument)));
    EXPECT_EQ(ConfigStoreDocument::NormalizeValue(desired),
              ConfigStoreDocument::NormalizeValue(ExtractDesiredConfiguration()));
    // Storing the document marks it as waiting for the reboot; Apply leaves that mark alone.
    EXPECT_EQ(TarnConfigStore::DESIRED_PENDING, TarnConfigStore::GetBootMode());
}

TEST_F(ApplyTest, AHostThatChangedAfterTheCheck) {
    // The impact grew: refused, nothing applied.
    auto grew = Check(Desired({{"/host/time/zone/zone", "\"CET\""}}));
    PutCurrent(R"({"host": {"storage": {"cache": {"size": 5}}}})");
    EXPECT_EQ(INVALID_IMPACT, StoreErrorCode([&] { Apply(grew, task); }));
    EXPECT_TRUE(AppliedPlugins().empty());

    // The impact fell to none: applied without maintenance mode.
    PutCurrent(kHostDocument);
    const std::vector<std::pair<std::string, std::string>> both = {
        {"/host/storage/cache/size", "2"}, {"/host/time/zone/zone", "\"CET\""}};
    auto fell = Check(Desired(both));
    EXPECT_EQ(MAINTENANCE_MODE_REQUIRED, fell->impact);
    PutCurrent(R"({"host": {"storage": {"cache": {"size": 2}}}})");
    CSLogger::Capture log;
    EXPECT_EQ(APPLY_SUCCESS, Apply(fell, task).status);
    EXPECT_TRUE(log.Contains(0,
                             "Impact reported by CheckApply() is no longer applicable, continue. "
                             "old_impact=1, new_impact=0"));
    EXPECT_EQ(std::vector<std::string>{"storetest:zone"}, AppliedPlugins());
    EXPECT_TRUE(Complies(Desired(both)));

    // Already compliant: nothing to do, nothing stored.
    EXPECT_EQ(APPLY_SUCCESS, Apply(fell, task).status);
    EXPECT_TRUE(log.Contains(2, "Drift reported by CheckApply() is resolved."));
    EXPECT_EQ(1u, AppliedPlugins().size());
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    EXPECT_TRUE(TarnConfigStore::GetDesiredUserConfigContents(connection).empty());
}

TEST_F(ApplyTest, BadInputIsRefused) {
    rapidjson::Document desired = Desired({{"/host/time/zone/zone", "\"CET\""}});
    for (const char* cache : {"{", "{} {}", "[]"}) {
        auto check = std::make_shared<CheckApplyResult>(NO_IMPACT, desired, QUICK_BOOT_UNSUPPORTED,
                                                        "", cache);
        EXPECT_EQ(INVALID_IMPACT, StoreErrorCode([&] { Apply(check, task); })) << cache;
    }
    EXPECT_EQ(EMPTY_INPUT, StoreErrorCode([&] { Apply(nullptr, task); }));
    EXPECT_TRUE(PluginCalls().empty());
    // An empty cache text is an empty cache.
    auto check =
        std::make_shared<CheckApplyResult>(NO_IMPACT, desired, QUICK_BOOT_UNSUPPORTED, "", "");
    EXPECT_EQ(APPLY_SUCCESS, Apply(check, task).status);
    EXPECT_EQ(std::vector<std::string>{"storetest:zone"}, AppliedPlugins());
}

TEST_F(ApplyTest, TheDriftCacheOfTheCheckReachesTheImpactPluginsOfTheApply) {
    auto check = Check(Desired(kNoImpactChange));
    EXPECT_EQ(R"({"host:net:links:eth0":{"operation":"SET","drift":"{\"speed\":\"SET\"}"},)"
              R"("host:net:links:eth2":{"operation":"ADD"}})",
              check->driftCache);
    PutCurrent(R"({"host": {"net": {"links": []}}})");  // Apply now sees two more ADDs
    Apply(check, task);
    std::vector<std::string> cached;
    for (const rapidjson::Document& call : PluginCalls()) {
        if (call["operation"] != "IMPACT") {
            continue;
        }
        for (const auto& input : call["inputs"].GetArray()) {
            cached.push_back(std::string(input["id"].GetString()) + " " +
                             input["operation"].GetString() + " " + Text(input["cached"]));
        }
    }
    std::sort(cached.begin(), cached.end());
    EXPECT_EQ((std::vector<std::string>{
                  "host:net:links:eth0 ADD {\"operation\":\"SET\",\"drift\":{\"speed\":\"SET\"}}",
                  "host:net:links:eth0 SET null",
                  "host:net:links:eth1 ADD null",
                  "host:net:links:eth2 ADD null",
                  "host:net:links:eth2 ADD {\"operation\":\"ADD\",\"drift\":null}",
                  "host:time:zone: SET null",
                  "host:time:zone: SET null",
              }),
              cached);
}

// The impact plugins of CheckApply and of Apply get each added and changed object's desired
// value and a deleted object's value on the host.
TEST_F(ApplyTest, TheImpactPluginsGetTheDesiredValuesAndTheDeletedHostValues) {
    rapidjson::Document desired = Desired({{"/host/time/zone/zone", "\"CET\""}});
    desired["host"]["net"]["links"].CopyFrom(
        Json(R"([{"name": "eth2", "mtu": 1500, "enabled": true, "speed": 10},
                 {"name": "eth0", "mtu": 1500, "enabled": true, "speed": 10}])"),
        desired.GetAllocator());
    EXPECT_EQ(APPLY_SUCCESS, Apply(Check(std::move(desired)), task).status);
    std::vector<std::string> seen;
    for (const rapidjson::Document& call : PluginCalls()) {
        if (call["operation"] == "IMPACT") {
            for (const auto& input : call["inputs"].GetArray()) {
                seen.push_back(std::string(input["id"].GetString()) + " " +
                               input["operation"].GetString() + " " + Text(input["config"]));
            }
        }
    }
    std::sort(seen.begin(), seen.end());
    const std::vector<std::string> once{
        R"(host:net:links:eth0 SET {"name":"eth0","mtu":1500,"enabled":true,"speed":10})",
        R"(host:net:links:eth1 DELETE {"name":"eth1","mtu":1500,"enabled":true,"speed":1000})",
        R"(host:net:links:eth2 ADD {"name":"eth2","mtu":1500,"enabled":true,"speed":10})",
        R"(host:time:zone: SET {"zone":"CET"})"};
    std::vector<std::string> twice;
    for (const std::string& line : once) {
        twice.insert(twice.end(), {line, line});
    }
    EXPECT_EQ(twice, seen);
}

TEST_F(ApplyTest, AnAbortWhileAPluginRunsEndsItWithSigterm) {
    Configure("storetest:links", R"({"apply": "hang"})");
    task->AbortWhenFileExists(RunningMarker());
    Deadline deadline("an apply whose plugin runs until it is aborted");
    ApplyResult result = Apply(Check(Desired(kNoImpactChange)), task);
    EXPECT_EQ(kApplyPluginAborted, result.error.id);
    EXPECT_EQ(std::vector<std::string>{"storetest:links"}, result.error.args);
    EXPECT_EQ(APPLY_SUCCESS, result.status);
    std::vector<rapidjson::Document> calls = PluginCalls();
    ASSERT_TRUE(calls.back().HasMember("signal"));
    EXPECT_EQ(15, calls.back()["signal"].GetInt());
    EXPECT_EQ(std::vector<std::string>{"storetest:links"}, AppliedPlugins());
}

TEST_F(ApplyTest, AnAbortBetweenPluginsNamesTheNextDependency) {
    task->AbortAfterFinished("storetest:links");
    ApplyResult result = Apply(
        Check(Desired({{"/host/net/links/0/speed", "10"}, {"/host/time/zone/zone", "\"CET\""}})),
        task);
    std::vector<std::string> names = PluginManager(APPLY).GetDependencies();
    auto links = std::find(names.begin(), names.end(), "SET:storetest:links");
    ASSERT_NE(names.end(), links);
    EXPECT_EQ(kApplyPluginAborted, result.error.id);
    EXPECT_EQ(std::vector<std::string>{*std::next(links)}, result.error.args);
    EXPECT_EQ(std::vector<std::string>{"storetest:links"}, AppliedPlugins());
}

TEST_F(ApplyTest, AFailingPluginStopsTheRestAndReturnsItsError) {
    Configure("storetest:links", R"({"apply": "fail"})");
    WriteFile(TarnPaths::kMaintenanceModeFile, "1\n");
    auto changes = kNoImpactChange;
    changes.push_back({"/host/storage/cache/size", "2"});
    ApplyResult result = Apply(Check(Desired(changes)), task);
    EXPECT_EQ(APPLY_SUCCESS, result.status);
    EXPECT_EQ("test.apply.failed", result.error.id);
    EXPECT_EQ(std::vector<std::string>{"storetest:links"}, result.error.args);
    EXPECT_EQ(std::vector<std::string>{"storetest:links"}, AppliedPlugins());
    ASSERT_FALSE(task->children.at(1)->notifications.empty());
    EXPECT_TRUE(task->children.at(1)->notifications.back().error);
    EXPECT_TRUE(Complies(Json(kHostDocument)));
}

}  // namespace
