// The validation result JSON reported to callers.
#include <gtest/gtest.h>

#include "deradidezivizoda/validation/validation_result.h"

namespace TarnConfigManager {
namespace {

ValidationErrorInfo Entry(const std::string& path, std::vector<ErrorInfo> messages) {
    ValidationErrorInfo entry;
    entry.path = path;
    entry.messages = std::move(messages);
    return entry;
}

TEST(ValidationResultTest, SerialisesOnlyWhatTheResultHolds) {
    ValidationResult result;
    EXPECT_EQ("{}", result.Serialize());

    result.pluginErr = ErrorInfo("com.corvid.tarn.settings.validation.plugin.aborted",
                                 {"network:dns"}, "network.dns.resolver@1");
    EXPECT_EQ(R"({"pluginErr":{"id":"com.corvid.tarn.settings.validation.plugin.aborted",)"
              R"("args":["network:dns"],"message":"network.dns.resolver@1"}})",
              result.Serialize());

    result.errors = {
        Entry("/network/dns/resolver/timeout",
              {ErrorInfo("com.corvid.tarn.settings.validator.type-mismatch", {"integer", "string"}),
               ErrorInfo("dns.timeout.too-long", {}, "network.dns.resolver@1")}),
        Entry("/network/dns", {})};
    const std::string errors =
        R"("errors":[{"path":"/network/dns/resolver/timeout","messages":[)"
        R"({"id":"com.corvid.tarn.settings.validator.type-mismatch","args":["integer","string"],)"
        R"("message":""},{"id":"dns.timeout.too-long","args":[],)"
        R"("message":"network.dns.resolver@1"}]},{"path":"/network/dns","messages":[]}])";
    EXPECT_EQ(R"({"pluginErr":{"id":"com.corvid.tarn.settings.validation.plugin.aborted",)"
              R"("args":["network:dns"],"message":"network.dns.resolver@1"},)" +
                  errors + "}",
              result.Serialize());

    result.pluginErr = ErrorInfo();
    EXPECT_EQ("{" + errors + "}", result.Serialize());
}

}  // namespace
}  // namespace TarnConfigManager
