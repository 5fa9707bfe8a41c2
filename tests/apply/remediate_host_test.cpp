// Apply tasks and their execution: what a task carries, task keys per manifest version, the
// boot flag, task keys outside the dependency order and an abort before the first name.
#include <gtest/gtest.h>

#include "apply_host.h"
#include "deradidezivizoda/apply/apply_task_generator.h"
#include "deradidezivizoda/apply/remediate_host.h"
#include "deradidezivizoda/plugins/plugin_manager.h"
#include "tarn/logger/cs_logger.h"

namespace {

using namespace TarnConfigManager;
using namespace TarnTest;

class RemediateHostTest : public ApplyHostTest {
protected:
    ErrorInfo Remediate(rapidjson::Document document, bool boot = false) {
        return RemediateHost(document, "ctx", task, boot);
    }

    std::shared_ptr<RecordingTask> task = std::make_shared<RecordingTask>();
};

TEST_F(RemediateHostTest, TasksCarryTheValueTheOperationNeeds) {
    rapidjson::Document same = Json(kHostDocument);
    EXPECT_TRUE(GenerateApplyTasks(same).empty());
    CSLogger::Capture log;
    EXPECT_TRUE(Remediate(Json(kHostDocument)).id.empty());
    EXPECT_TRUE(log.Contains(1, "No tasks generated for the desired configuration."));
    EXPECT_TRUE(task->progress.empty());

    rapidjson::Document desired = Json(R"({"host": {"time": {"zone": {"zone": "CET"}},
        "net": {"links": [{"name": "eth0", "mtu": 1500, "enabled": true, "speed": 10}]}}})");
    std::vector<DesiredConfigInput> tasks = GenerateApplyTasks(desired);
    std::vector<std::string> seen;
    for (const DesiredConfigInput& input : tasks) {
        seen.push_back(input.operation + " " + input.object->GetConfigStoreObjectId().toString() +
                       " " + input.object->GetSerializedData() + " " +
                       (input.drift ? input.drift->GetDriftData() : "-"));
        EXPECT_FALSE(input.cachedDrift);
    }
    // Keys the document lacks (ntp, cache, kernel) are deleted with the host's values.
    EXPECT_EQ((std::vector<std::string>{
                  R"(SET comp host grp time key zone {"zone":"CET"} {"zone":"SET"})",
                  R"(SET comp host grp net key links id eth0 {"name":"eth0","mtu":1500,)"
                  R"("enabled":true,"speed":10} {"speed":"SET"})",
                  R"(DELETE comp host grp net key links id eth1 {"name":"eth1","mtu":1500,)"
                  R"("enabled":true,"speed":1000} -)",
                  R"(DELETE comp host grp time key ntp {"servers":["a.example"]} -)",
                  R"(DELETE comp host grp storage key cache {"size":1} -)",
                  R"(DELETE comp host grp boot key kernel {"args":"quiet"} -)"}),
              seen);
}

TEST_F(RemediateHostTest, TaskKeysGroupByOperationBeforeVersion3AndByPluginFrom3) {
    InstallPlugin("host/net/links", R"({"version": 3, "type": "python", "apply": {
        "apply_group": "network", "boot": true,
        "REMEDIATE": {"provides": "REMEDIATE:host:net:links", "depends": []}}})");
    ASSERT_TRUE(Remediate(Desired({{"/host/net/links/0/speed", "10"},
                                   {"/host/net/links/2", R"({"name": "eth2"})"},
                                   {"/host/net/links/3", R"({"name": "eth3"})"}}))
                    .id.empty());
    std::vector<std::string> calls;
    for (const rapidjson::Document& call : PluginCalls()) {
        std::string inputs;
        for (const auto& input : call["inputs"].GetArray()) {
            inputs +=
                std::string(" ") + input["operation"].GetString() + "/" + input["id"].GetString();
        }
        calls.push_back(std::string(call["plugin"].GetString()) + inputs);
    }
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(
        (std::vector<std::string>{"host:net:links SET/host:net:links:eth0 ADD/host:net:links:eth2 "
                                  "ADD/host:net:links:eth3",
                                  "storetest:links ADD/host:net:links:eth2 ADD/host:net:links:eth3",
                                  "storetest:links SET/host:net:links:eth0"}),
        calls);
    ASSERT_EQ(4u, task->progress.size());
    EXPECT_FLOAT_EQ(20.0f + 80.0f / 3 * 2, task->progress[2]);
    EXPECT_FLOAT_EQ(100.0f, task->progress.back());
}

TEST_F(RemediateHostTest, AtBootOnlyBootCapablePluginsApply) {
    CSLogger::Capture log;
    EXPECT_TRUE(
        Remediate(Desired({{"/host/time/zone/zone", "\"CET\""}, {"/host/net/links/0/speed", "10"}}),
                  true)
            .id.empty());
    EXPECT_TRUE(log.Contains(0,
                             "Plugin=storetest:zone does not support boot-time remediation for "
                             "csoid=comp host grp time key zone"));
    EXPECT_EQ(std::vector<std::string>{"storetest:links APPLY"}, CallNames());
}

TEST_F(RemediateHostTest, WorkOutsideTheDependencyOrderIsNotRun) {
    InstallPlugin("host/time/ntp", R"({"version": 3, "type": "python", "apply": {
        "apply_group": "system", "boot": true,
        "REMEDIATE": {"provides": "ntp-ready", "depends": ["SET:storetest:zone"]}}})");
    EXPECT_TRUE(Remediate(Desired({{"/host/time/ntp/servers/0", "\"b.example\""}})).id.empty());
    EXPECT_EQ(std::vector<float>{20.0f}, task->progress);
    EXPECT_TRUE(PluginCalls().empty());
}

TEST_F(RemediateHostTest, AnAbortBeforeTheFirstNameNamesIt) {
    task->AbortNow();
    ErrorInfo error = Remediate(Desired({{"/host/time/zone/zone", "\"CET\""}}));
    EXPECT_EQ(kApplyPluginAborted, error.id);
    EXPECT_EQ(std::vector<std::string>{PluginManager(APPLY).GetDependencies().front()}, error.args);
    EXPECT_TRUE(PluginCalls().empty());
}

}  // namespace
