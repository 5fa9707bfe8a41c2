// Impact through real impact plugins: the verdicts combined with the schemas', progress,
// notifications, quick boot, aborts and plugin failures.
#include <gtest/gtest.h>

#include <filesystem>

#include "apply_host.h"
#include "deradidezivizoda/impact/impact.h"
#include "tarn/paths.h"

namespace {

using namespace TarnConfigManager;
using namespace TarnTest;

const ImpactInfo kZoneSet{kImpactInfoSet, {"zone", "time", "host"}};
const ImpactInfo kLinksSet{kImpactInfoSet, {"links", "net", "host"}};

class ImpactTest : public ApplyHostTest {
protected:
    void SetUp() override {
        ApplyHostTest::SetUp();
        WriteFile(TarnPaths::kQuickBootFile, "quickboot\n");
    }

    ImpactResult Run(rapidjson::Document document) { return Impact(document, "cluster-7", task); }

    std::shared_ptr<RecordingTask> task = std::make_shared<RecordingTask>();
};

TEST_F(ImpactTest, AHostThatMatchesAsksNoPlugin) {
    ImpactResult result = Run(Json(kHostDocument));
    EXPECT_TRUE(result.error.id.empty());
    EXPECT_TRUE(result.compliant);
    EXPECT_EQ(NO_IMPACT, result.impact);
    EXPECT_TRUE(result.impactInfo.empty());
    EXPECT_EQ(QUICK_BOOT_UNSUPPORTED, result.quickBootStatus);
    EXPECT_EQ(std::vector<float>{20.0f}, task->progress);
    EXPECT_TRUE(PluginCalls().empty());
}

TEST_F(ImpactTest, AChangeWithoutImpactPluginCountsWithoutAPluginRun) {
    ImpactResult result = Run(Desired({{"/host/time/ntp/servers/1", "\"b.example\""}}));
    EXPECT_FALSE(result.compliant);
    EXPECT_EQ(NO_IMPACT, result.impact);
    EXPECT_EQ((std::list<ImpactInfo>{{kImpactInfoSet, {"ntp", "time", "host"}}}),
              result.impactInfo);
    EXPECT_EQ(QUICK_BOOT_SUPPORTED, result.quickBootStatus);
    EXPECT_TRUE(PluginCalls().empty());
}

TEST_F(ImpactTest, RebootWinsOverMaintenanceModeAcrossPlugins) {
    Configure("storetest:links", R"({"impact": {"host:net:links": 1}})");
    Configure("storetest:zone", R"({"impact": {"host:time:zone": 2}})");
    ImpactResult result =
        Run(Desired({{"/host/net/links/0/speed", "10"}, {"/host/time/zone/zone", "\"CET\""}}));
    EXPECT_EQ(REBOOT_REQUIRED, result.impact);
    ASSERT_EQ(3u, result.impactInfo.size());
    EXPECT_EQ(kImpactInfoReboot, result.impactInfo.front().id);
    EXPECT_TRUE(result.impactInfo.front().args.empty());
    std::list<ImpactInfo> perObject(std::next(result.impactInfo.begin()), result.impactInfo.end());
    EXPECT_TRUE(perObject == (std::list<ImpactInfo>{kZoneSet, kLinksSet}) ||
                perObject == (std::list<ImpactInfo>{kLinksSet, kZoneSet}));

    std::vector<rapidjson::Document> calls = PluginCalls();
    ASSERT_EQ(2u, calls.size());
    for (const rapidjson::Document& call : calls) {
        EXPECT_STREQ("IMPACT", call["operation"].GetString());
        EXPECT_STREQ("cluster-7", call["context"].GetString());
        std::string plugin = call["plugin"].GetString();
        size_t started = 0, finished = 0;
        for (const auto& n : task->notifications) {
            started += n.id == kImpactPluginStarted && n.args == std::vector{plugin};
            finished += n.id == kImpactPluginFinished && n.args == std::vector{plugin};
        }
        EXPECT_EQ(1u, started) << plugin;
        EXPECT_EQ(1u, finished) << plugin;
    }
}

// Maintenance mode without a reboot leads with its own summary message, whether a plugin or
// the key's schema asks for it.
TEST_F(ImpactTest, MaintenanceModeAloneLeadsWithItsOwnMessage) {
    Configure("storetest:links", R"({"impact": {"host:net:links": 1}})");
    ImpactResult byPlugin = Run(Desired({{"/host/net/links/0/speed", "10"}}));
    EXPECT_EQ(MAINTENANCE_MODE_REQUIRED, byPlugin.impact);
    EXPECT_EQ((std::list<ImpactInfo>{{kImpactInfoMaintenanceMode, {}}, kLinksSet}),
              byPlugin.impactInfo);
    EXPECT_EQ(QUICK_BOOT_SUPPORTED, byPlugin.quickBootStatus);

    ImpactResult bySchema = Run(Desired({{"/host/storage/cache/size", "2"}}));
    EXPECT_EQ(MAINTENANCE_MODE_REQUIRED, bySchema.impact);
    EXPECT_EQ((std::list<ImpactInfo>{{kImpactInfoMaintenanceMode, {}},
                                     {kImpactInfoSet, {"cache", "storage", "host"}}}),
              bySchema.impactInfo);
}

TEST_F(ImpactTest, OneVerdictAgainstQuickBootRulesItOut) {
    Configure("storetest:zone", R"({"quickBoot": false})");
    ImpactResult result = Run(Desired({{"/host/time/zone/zone", "\"CET\""}}));
    EXPECT_EQ(NO_IMPACT, result.impact);
    EXPECT_EQ(QUICK_BOOT_UNSUPPORTED, result.quickBootStatus);
    // Also when a later verdict of the same plugin allows it.
    Configure("storetest:zone", "{}");
    Configure("storetest:links", R"({"quickBoot": [false, true]})");
    result = Run(Desired({{"/host/net/links/0/speed", "10"}, {"/host/net/links/1/speed", "10"}}));
    EXPECT_EQ(2u, PluginCalls().back()["inputs"].Size());
    EXPECT_EQ(QUICK_BOOT_UNSUPPORTED, result.quickBootStatus);
}

TEST_F(ImpactTest, ProgressStepsOverFourPluginsAndAProfileIsComparedAlone) {
    rapidjson::Document desired = Desired({{"/host/net/links/0/speed", "10"},
                                           {"/host/time/zone/zone", "\"CET\""},
                                           {"/host/storage/cache/size", "2"},
                                           {"/host/boot/kernel/args", "\"debug\""}});
    rapidjson::Document wrapped = Json(R"({"other": {"x": {"y": 1}}})");
    wrapped.AddMember("profile", rapidjson::Value(desired, wrapped.GetAllocator()),
                      wrapped.GetAllocator());
    ImpactResult result = Run(std::move(wrapped));
    EXPECT_TRUE(result.error.id.empty()) << result.error.id;
    EXPECT_EQ(REBOOT_REQUIRED, result.impact);
    EXPECT_EQ(5u, result.impactInfo.size());
    EXPECT_EQ((std::vector<float>{20, 40, 60, 80, 100}), task->progress);
    EXPECT_EQ(4u, PluginCalls().size());
}

TEST_F(ImpactTest, AnAbortOrAFailedPluginEndsTheCheckWithItsError) {
    task->AbortNow();
    ImpactResult aborted = Run(Desired({{"/host/time/zone/zone", "\"CET\""}}));
    EXPECT_EQ(kImpactPluginAborted, aborted.error.id);
    EXPECT_EQ(std::vector<std::string>{"storetest:zone"}, aborted.error.args);
    EXPECT_TRUE(aborted.compliant);
    EXPECT_TRUE(aborted.impactInfo.empty());
    EXPECT_TRUE(PluginCalls().empty());

    // An abort while the plugins run: the one that ran has finished, the next one does not
    // start, and the error names the plugin that was not run.
    task = std::make_shared<RecordingTask>();
    task->AbortAfterFinished(RecordingTask::kAnyImpactPlugin);
    ImpactResult midway =
        Run(Desired({{"/host/net/links/0/speed", "10"}, {"/host/time/zone/zone", "\"CET\""}}));
    EXPECT_EQ(kImpactPluginAborted, midway.error.id);
    std::vector<rapidjson::Document> calls = PluginCalls();
    ASSERT_EQ(1u, calls.size());
    std::string ran = calls[0]["plugin"].GetString();
    std::string skipped = ran == "storetest:zone" ? "storetest:links" : "storetest:zone";
    EXPECT_EQ(std::vector<std::string>{skipped}, midway.error.args);
    EXPECT_TRUE(midway.compliant);
    EXPECT_TRUE(midway.impactInfo.empty());
    EXPECT_EQ((std::vector<float>{20, 60}), task->progress);
    ASSERT_EQ(2u, task->notifications.size());
    EXPECT_EQ(kImpactPluginFinished, task->notifications[1].id);
    EXPECT_EQ(std::vector<std::string>{ran}, task->notifications[1].args);
    std::filesystem::remove(CallLog());

    task = std::make_shared<RecordingTask>();
    Configure("storetest:zone", R"({"impactFails": true})");
    ImpactResult failed = Run(Desired({{"/host/time/zone/zone", "\"CET\""}}));
    EXPECT_EQ("test.impact.failed", failed.error.id);
    EXPECT_EQ(std::vector<std::string>{"storetest:zone"}, failed.error.args);
    ASSERT_FALSE(task->notifications.empty());
    EXPECT_TRUE(task->notifications.back().error);
    EXPECT_EQ("test.impact.failed", task->notifications.back().id);
}

}  // namespace
