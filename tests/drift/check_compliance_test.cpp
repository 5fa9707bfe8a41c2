#include <gtest/gtest.h>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "recording_handler.h"
#include "schema_files.h"
#include "tarn/logger/cs_logger.h"

using namespace TarnConfigManager;

namespace {

class ProgressTask : public TaskHandle {
public:
    void UpdateProgress(float value) override { progress.push_back(value); }
    std::vector<float> progress;
};

// The compliance report of desired against host (the handler's host document).
std::string Report(const std::string& desiredText, const std::string& hostText,
                   bool compareEmptyByProperty, bool* compliant = nullptr) {
    rapidjson::Document desired;
    ParseDocument(desiredText, desired);
    ComplianceResult result;
    CheckComplianceHandler handler(&result);
    handler.compareEmptyByProperty = compareEmptyByProperty;
    handler.useDefaultInstances = false;
    handler.hostDocument.emplace();
    ParseDocument(hostText, *handler.hostDocument);
    ComputeDrift(desired, desired.GetAllocator(), handler);
    if (compliant) {
        *compliant = result.compliant;
    }
    std::string text;
    SerializeValue(result.document, text);
    return text;
}

class Compliance : public TarnTest::DriftTest {
protected:
    void SetUp() override {
        DriftTest::SetUp();
        TarnTest::InstallKeySchema("host", "accounts", "secrets", R"({"definition": {
            "type": "object", "properties": {"token": {"type": "string", "sensitive": true},
            "owner": {"type": "string"}}}})");
        TarnTest::InstallKeySchema("tarn", "system", "installer", R"({"definition": {
            "type": "object", "properties": {"mode": {"type": "string"}}}})");
    }
};

}  // namespace

TEST_F(Compliance, CompliantHostGivesThreeEmptyArraysAndFullProgress) {
    const char* doc = R"({"host": {"time": {"ntp": {"level": 1}}}})";
    bool compliant = false;
    EXPECT_EQ(Report(doc, doc, false, &compliant), R"({"ADDS":[],"DELETES":[],"SETS":[]})");
    EXPECT_TRUE(compliant);

    // The exported entry point extracts the current configuration itself; an empty desired
    // document is compliant with any host.
    rapidjson::Document empty(rapidjson::kObjectType);
    auto task = std::make_shared<ProgressTask>();
    ComplianceResult result;
    result.compliant = false;
    CheckCompliance(empty, false, result, task);
    EXPECT_TRUE(result.compliant);
    EXPECT_EQ(task->progress, std::vector<float>{100.0f});
}

TEST_F(Compliance, ReportsObjectLevelDriftInAddsAndDeletes) {
    CSLogger::Capture capture;
    bool compliant = true;
    EXPECT_EQ(Report(R"({"host": {"time": {"ntp": {"level": 1}},
                                  "accounts": {"users": [{"name": "a"}]}}})",
                     R"({"host": {"accounts": {"users": [{"name": "a"}, {"name": "x"}]}}})", false,
                     &compliant),
              R"({"ADDS":[{"path":"/host/time/ntp","desiredValue":"{\"level\":1}"}],)"
              R"("DELETES":[{"path":"/host/accounts/users/1","hostValue":"{\"name\":\"x\"}"}],)"
              R"("SETS":[]})");
    EXPECT_FALSE(compliant);
    EXPECT_TRUE(capture.Contains(2, "SET drift detected at /host/time/ntp"));
    EXPECT_TRUE(capture.Contains(2, "DELETE drift detected at /host/accounts/users/1"));
}

TEST_F(Compliance, PlainPropertiesAreAlwaysSetsAndObjectPropertiesKeepTheirAction) {
    EXPECT_EQ(Report(R"({"host": {"time": {"ntp": {"level": 1, "options": {"iburst": true}}}}})",
                     "{}", true),
              R"({"ADDS":[{"path":"/host/time/ntp/options","desiredValue":"{\"iburst\":true}"}],)"
              R"("DELETES":[],"SETS":[{"path":"/host/time/ntp/level","desiredValue":"1"}]})");
    EXPECT_EQ(
        Report(R"({"host": {"time": {"ntp": {"peers": []}}}})",
               R"({"host": {"time": {"ntp": {"peers": [{"name": "p"}], "level": 3}}}})", false),
        R"({"ADDS":[],"DELETES":[{"path":"/host/time/ntp/peers/0","hostValue":"{\"name\":\"p\"}"}],)"
        R"("SETS":[{"path":"/host/time/ntp/level","hostValue":"3"}]})");
}

TEST_F(Compliance, SecretsAreMaskedAndInstallerPropertiesIgnored) {
    std::string report =
        Report(R"({"host": {"accounts": {"secrets": {"token": "s3cret", "owner": "a"}}}})",
               R"({"host": {"accounts": {"secrets": {"token": "old", "owner": "b"}}}})", false);
    EXPECT_EQ(report.find("s3cret"), std::string::npos) << report;
    EXPECT_EQ(report.find("old"), std::string::npos) << report;
    EXPECT_NE(report.find(R"("path":"/host/accounts/secrets/token","desiredValue":"\"******\"")"),
              std::string::npos)
        << report;

    bool compliant = false;
    EXPECT_EQ(Report(R"({"tarn": {"system": {"installer": {"mode": "a"}}}})",
                     R"({"tarn": {"system": {"installer": {"mode": "b"}}}})", false, &compliant),
              R"({"ADDS":[],"DELETES":[],"SETS":[]})");
    EXPECT_TRUE(compliant);
    EXPECT_EQ(Report(R"({"tarn": {"system": {"installer": {"mode": "a"}}}})", "{}", false),
              R"({"ADDS":[{"path":"/tarn/system/installer","desiredValue":"{\"mode\":\"a\"}"}],)"
              R"("DELETES":[],"SETS":[]})");
}
