// CheckApply: no result for a matching host, a frozen copy of what Apply needs otherwise, and
// an impact failure thrown as its ErrorInfo.
#include <gtest/gtest.h>

#include <ctime>

#include "apply_host.h"
#include "deradidezivizoda/apply/check_apply.h"
#include "tarn/logger/cs_logger.h"

namespace {

using namespace TarnConfigManager;
using namespace TarnTest;

class CheckApplyTest : public ApplyHostTest {
protected:
    std::shared_ptr<RecordingTask> task = std::make_shared<RecordingTask>();
};

TEST_F(CheckApplyTest, AMatchingHostGivesNoResult) {
    CSLogger::Capture log;
    rapidjson::Document document = Json(kHostDocument);
    EXPECT_FALSE(CheckApply(document, "", task));
    EXPECT_TRUE(log.Contains(3, "CheckApply operation invoked."));
    EXPECT_TRUE(log.Contains(3, "CheckApply operation completed."));
}

TEST_F(CheckApplyTest, TheResultFreezesTheDocumentTheImpactAndTheDriftCache) {
    rapidjson::Document document = Json(R"({"profile": {}})");
    document["profile"].CopyFrom(Desired({{"/host/time/zone/zone", "\"CET\""}}),
                                 document.GetAllocator());
    const std::string text = Text(document);
    auto before = static_cast<unsigned long long>(std::time(nullptr));
    std::shared_ptr<CheckApplyResult> result = CheckApply(document, "ctx", task);
    ASSERT_TRUE(result);
    EXPECT_EQ(NO_IMPACT, result->impact);
    EXPECT_EQ("{}", result->driftCache);  // the zone's plugin caches nothing
    EXPECT_EQ("ctx", result->clusterContext);
    EXPECT_EQ(QUICK_BOOT_UNSUPPORTED, result->quickBootStatus);
    document["profile"].SetNull();
    EXPECT_EQ(text, Text(result->desiredDocument));
    ASSERT_EQ(std::string::npos, result->timestamp.find_first_not_of("0123456789"));
    EXPECT_LE(before, std::stoull(result->timestamp));
    EXPECT_GE(static_cast<unsigned long long>(std::time(nullptr)), std::stoull(result->timestamp));

    rapidjson::Document added = Desired({{"/host/net/links/2", R"({"name": "eth9"})"}});
    result = CheckApply(added, "", task);
    ASSERT_TRUE(result);
    EXPECT_EQ(R"({"host:net:links:eth9":{"operation":"ADD"}})", result->driftCache);
}

TEST_F(CheckApplyTest, AFailedImpactPluginIsThrownAsItsErrorInfo) {
    Configure("storetest:zone", R"({"impactFails": true})");
    rapidjson::Document document = Desired({{"/host/time/zone/zone", "\"CET\""}});
    try {
        CheckApply(document, "", task);
        ADD_FAILURE() << "no ErrorInfo thrown";
    } catch (const ErrorInfo& error) {
        EXPECT_EQ("test.impact.failed", error.id);
        EXPECT_EQ(std::vector<std::string>{"storetest:zone"}, error.args);
    }
}

}  // namespace
