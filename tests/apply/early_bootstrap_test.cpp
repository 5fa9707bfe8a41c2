// The early bootstrap against the test host with its early groups: authentication first, then
// networking, each against the host's own configuration of those groups; refusals of invalid
// documents and of changes that need a reboot; other groups left alone.
#include <gtest/gtest.h>

#include "apply_host.h"
#include "deradidezivizoda/apply/early_bootstrap.h"
#include "schema_files.h"
#include "tarn/logger/cs_logger.h"

namespace {

using namespace TarnConfigManager;
using namespace TarnTest;

const char kEarlyHost[] = R"({"tarn": {
    "authentication": {"users": {"admins": ["root"]}},
    "network": {"dns": {"servers": ["10.0.0.53"], "mode": "plain"}},
    "network_lsw": {"vlan": {"id": 10}}}})";

// A version 2 apply-only manifest of the store plugin for one key.
std::string Manifest(const std::string& id, const std::string& key, const std::string& group) {
    std::string operations;
    for (const char* operation : {"ADD", "SET", "DELETE"}) {
        operations += std::string(operations.empty() ? "" : ", ") + "\"" + operation +
                      "\": {\"provides\": \"" + operation + ":" + id + "\", \"depends\": []}";
    }
    return R"({"version": 2, "type": "python", "accepts": [")" + key +
           R"("], "apply": {"apply_group": ")" + group + R"(", "boot": true, "operations": {)" +
           operations + "}}}";
}

// The whole host: early groups as in early, the rest as kHostDocument.
rapidjson::Document WithHost(const std::string& early) {
    rapidjson::Document document = Json(early);
    rapidjson::Value host;
    host.CopyFrom(Json(kHostDocument)["host"], document.GetAllocator());
    document.AddMember("host", host, document.GetAllocator());
    return document;
}

class EarlyBootstrapTest : public ApplyHostTest {
protected:
    void SetUp() override {
        ApplyHostTest::SetUp();
        InstallKeySchema("tarn", "authentication", "users", R"({"definition": {"type": "object",
            "properties": {"admins": {"type": "array", "items": {"type": "string"}}}}})");
        InstallKeySchema("tarn", "network", "dns", R"({"rebootRequired": ["SET"],
            "definition": {"type": "object",
            "properties": {"servers": {"type": "array", "items": {"type": "string"}},
                "mode": {"type": "string", "rebootRequired": {"SET": ["legacy"]}}}}})");
        InstallKeySchema("tarn", "network_lsw", "vlan", R"({"definition": {"type": "object",
            "properties": {"id": {"type": "integer"}}}})");
        InstallPlugin("earlytest/users",
                      Manifest("earlytest:users", "tarn:authentication:users", "system-early"));
        InstallPlugin("earlytest/dns", Manifest("earlytest:dns", "tarn:network:dns", "network"));
        InstallPlugin("earlytest/vlan",
                      Manifest("earlytest:vlan", "tarn:network_lsw:vlan", "network"));
        PutCurrent(kEarlyHost);
    }

    static std::string Early(const std::vector<std::pair<std::string, std::string>>& changes,
                             const char* base = kEarlyHost) {
        rapidjson::Document document = Json(base);
        for (const auto& [pointer, text] : changes) {
            rapidjson::Value value;
            value.CopyFrom(Json(text), document.GetAllocator());
            rapidjson::Pointer(pointer.c_str()).Set(document, value);
        }
        return Text(document);
    }
};

TEST_F(EarlyBootstrapTest, AHostThatMatchesRunsNoPlugin) {
    CSLogger::Capture log;
    EXPECT_EQ(0, ApplyEarlyBootstrapConfig(kEarlyHost));
    EXPECT_TRUE(log.Contains(2, "Host is compliant with bootstrap network document."));
    EXPECT_TRUE(PluginCalls().empty());
}

TEST_F(EarlyBootstrapTest, AuthenticationComesFirstThenNetworking) {
    CSLogger::Capture log;
    EXPECT_EQ(0, ApplyEarlyBootstrapConfig(Early({{"/tarn/network_lsw/vlan/id", "20"}})));
    EXPECT_EQ(std::vector<std::string>{"earlytest:vlan APPLY"}, CallNames());
    long noTask = log.IndexOf("No tasks generated for the desired configuration.");
    long authentication = log.IndexOf("Bootstrapped early authentication config.");
    EXPECT_LE(0, noTask);
    EXPECT_LT(noTask, authentication);
    EXPECT_LT(authentication, log.IndexOf("Found match for dependency SET:earlytest:vlan"));
    EXPECT_TRUE(log.Contains(2, "Bootstrapped early networking config."));
    EXPECT_TRUE(Complies(WithHost(Early({{"/tarn/network_lsw/vlan/id", "20"}}))));

    // Both steps with work: authentication is applied before networking.
    EXPECT_EQ(0,
              ApplyEarlyBootstrapConfig(Early({{"/tarn/authentication/users/admins/1", "\"ops\""},
                                               {"/tarn/network/dns/servers/0", "\"1.1.1.1\""},
                                               {"/tarn/network_lsw/vlan/id", "20"}})));
    EXPECT_EQ((std::vector<std::string>{"earlytest:vlan APPLY", "earlytest:users APPLY",
                                        "earlytest:dns APPLY"}),
              CallNames());
}

TEST_F(EarlyBootstrapTest, OnlyTheEarlyGroupsAreApplied) {
    std::string document = Early(
        {{"/tarn/network_lsw/vlan/id", "30"}, {"/host", R"({"time": {"zone": {"zone": "CET"}}})"}});
    EXPECT_EQ(0, ApplyEarlyBootstrapConfig(document));
    std::vector<std::string> applied;
    for (const std::string& call : CallNames()) {
        if (call.find(" APPLY") != std::string::npos) {
            applied.push_back(call);
        }
    }
    EXPECT_EQ(std::vector<std::string>{"earlytest:vlan APPLY"}, applied);
    EXPECT_TRUE(Complies(WithHost(Early({{"/tarn/network_lsw/vlan/id", "30"}}))));
}

TEST_F(EarlyBootstrapTest, InvalidOrRebootingDocumentsApplyNothing) {
    CSLogger::Capture log;
    EXPECT_EQ(1, ApplyEarlyBootstrapConfig(Early({{"/tarn/network/dns/mode", "\"legacy\""},
                                                  {"/tarn/network_lsw/vlan/id", "20"}})));
    EXPECT_TRUE(
        log.Contains(0, "Bootstrap network document cannot require RebootRequired impact."));
    EXPECT_EQ(1, ApplyEarlyBootstrapConfig(Early({{"/tarn/network_lsw/vlan/id", "\"twenty\""}})));
    bool reported = false;
    for (const CSLogger::Line& line : log.Lines()) {
        reported |= line.priority == 0 &&
                    line.text.rfind("Found errors in early bootstrap configuration: {", 0) == 0;
    }
    EXPECT_TRUE(reported);
    EXPECT_EQ(1, ApplyEarlyBootstrapConfig(Early({{"/tarn/network/unknown", "{}"}})));
    EXPECT_TRUE(log.Contains(0, "Failed to generate schema for early bootstrap configuration."));
    for (const std::string& call : CallNames()) {
        EXPECT_EQ(std::string::npos, call.find(" APPLY")) << call;
    }
    EXPECT_TRUE(Complies(WithHost(kEarlyHost)));
}

TEST_F(EarlyBootstrapTest, FilterGroupsCopiesTheListedGroupsOfTarn) {
    rapidjson::Document wrapped =
        Json(std::string(R"({"profile": )") + kEarlyHost + R"(, "other": 1})");
    EXPECT_EQ(
        R"({"tarn":{"network_lsw":{"vlan":{"id":10}},"authentication":{"users":{"admins":["root"]}}}})",
        Text(FilterGroups(wrapped, {"network_lsw", "missing", "authentication"})));
    EXPECT_EQ(R"({"tarn":{}})", Text(FilterGroups(Json(kEarlyHost), {"missing"})));
    EXPECT_EQ("{}", Text(FilterGroups(Json(kHostDocument), {"network"})));
}

}  // namespace
