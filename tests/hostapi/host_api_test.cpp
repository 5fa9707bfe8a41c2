// The single-key configuration API end to end on the test host: SQLite store, schema files and
// the Python store plugins, whose apply writes the host's current rows.
#include <gtest/gtest.h>

#include "apply_host.h"
#include "deradidezivizoda/core/error_codes.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/hostapi/host_api.h"
#include "expect_store_error.h"
#include "schema_files.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/hostapi_rows.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/paths.h"
#include "tarn/validator/json_validator.h"

namespace {

using namespace TarnConfigManager;
using namespace TarnTest;
using TarnConfigStore::RowTable;

// The host's current rows of a key, as "<identifier>=<value>" in store order.
std::vector<std::string> Rows(RowTable table, const std::string& group, const std::string& key) {
    std::vector<std::string> rows;
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    for (const auto& row : TarnConfigStore::ReadKeyRows(connection, table, {key, group, "host"})) {
        rows.push_back(row->at("Identifier") + "=" + row->at("Value"));
    }
    return rows;
}

class HostApiTest : public ApplyHostTest {
protected:
    void SetUp() override {
        ApplyHostTest::SetUp();
        for (const char* key : {"time/zone", "net/links", "storage/cache", "boot/kernel"}) {
            std::string name(key);
            AddFacts(name.substr(0, name.find('/')), name.substr(name.find('/') + 1),
                     R"({"userConfig": true})");
        }
        // No apply plugin, and a value the validator can refuse twice at one place.
        InstallKeySchema("host", "misc", "motd", R"({"userConfig": true, "definition": {
            "type": "object", "properties": {
            "text": {"type": "string", "minLength": 4, "pattern": "^[a-z]*$"}}}})");
        InstallKeySchema("host", "misc", "hidden", R"({"definition": {"type": "object",
            "properties": {"a": {"type": "integer"}}}})");
    }

    // Adds the members of factsText to the key's schema file.
    static void AddFacts(const std::string& group, const std::string& key,
                         const std::string& factsText) {
        rapidjson::Document file = Json(ReadFile(KeySchemaPath("host", group, key)));
        rapidjson::Document facts = Json(factsText);
        for (auto& member : facts.GetObject()) {
            file.AddMember(rapidjson::Value(member.name, file.GetAllocator()),
                           rapidjson::Value(member.value, file.GetAllocator()),
                           file.GetAllocator());
        }
        InstallKeySchema("host", group, key, Text(file));
    }

    struct SetChain {
        rapidjson::Document value, desired, current, relevant;
        ImpactResult impact;
    };

    // ValidateInputSet, GenerateSetDocuments and CheckImpact, as a careful caller runs them.
    SetChain PrepareSet(const std::string& group, const std::string& key,
                        const std::string& valueText) {
        SetChain chain;
        std::vector<ValidationErrorInfo> errors;
        EXPECT_TRUE(ValidateInputSet("host", group, key, valueText, chain.value, errors));
        GenerateSetDocuments("host", group, key, chain.value, chain.desired, chain.current,
                             chain.relevant);
        chain.impact = CheckImpact(chain.desired, chain.current, task);
        return chain;
    }

    ErrorInfo Set(SetChain& chain, const std::string& group, const std::string& key) {
        return SetConfig(chain.desired, chain.current, chain.value, chain.impact, "host", group,
                         key, task);
    }

    std::shared_ptr<RecordingTask> task = std::make_shared<RecordingTask>();
};

TEST_F(HostApiTest, GetShowsDefaultCurrentAndSchemaAndLeavesReservedInstancesOut) {
    AddFacts("net", "links", R"({"reservedInstanceIds": ["eth1"]})");
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    TarnConfigStore::PutDefaultRow(connection, "host", "net", "links", "eth9",
                                   R"({"name": "eth9", "mtu": 1500})");
    std::string defaults, current, schema;
    GetConfig("host", "net", "links", defaults, current, schema);
    EXPECT_EQ(R"([{"name":"eth9","mtu":1500}])", defaults);
    EXPECT_EQ(R"([{"name":"eth0","mtu":1500,"enabled":true,"speed":1000}])", current);
    EXPECT_NE(std::string::npos, schema.find(R"("mtu":{"type":"integer")")) << schema;

    GetConfig("host", "time", "zone", defaults, current, schema);
    EXPECT_EQ("", defaults);
    EXPECT_EQ(R"({"zone":"UTC"})", current);

    ExpectStoreError(UNSUPPORTED_CONFIG,
                     [&] { GetConfig("host", "misc", "hidden", defaults, current, schema); }, {});
    ExpectStoreError(SCHEMA_NOT_FOUND,
                     [&] { GetConfig("host", "misc", "none", defaults, current, schema); },
                     {"none"});
}

TEST_F(HostApiTest, BadInputIsRefusedWithItsCode) {
    rapidjson::Document value;
    std::vector<ValidationErrorInfo> errors;
    auto codeOf = [&](const std::string& group, const std::string& key, const std::string& text) {
        try {
            ValidateInputSet("host", group, key, text, value, errors);
        } catch (const InvalidArgumentException& e) {
            return e.GetCode();
        }
        return 0;
    };
    EXPECT_EQ(PARSE_ERROR, codeOf("time", "zone", "{"));
    EXPECT_EQ(EMPTY_DOC, codeOf("time", "zone", "{}"));
    EXPECT_EQ(EMPTY_DOC, codeOf("net", "links", "[]"));
    EXPECT_EQ(SCHEMA_NOT_FOUND, codeOf("time", "nothing", R"({"a": 1})"));
    EXPECT_EQ(SINGLETON_ERROR, codeOf("net", "links", R"({"name": "eth0"})"));
    EXPECT_EQ(NOT_SINGLETON, codeOf("time", "zone", R"([{"zone": "UTC"}])"));
    EXPECT_TRUE(errors.empty());
    ExpectStoreError(SCHEMA_NOT_FOUND, [] { ValidateInputDelete("host", "time", "nothing"); }, {});
    EXPECT_TRUE(PluginCalls().empty());
}

TEST_F(HostApiTest, EveryValidatorFindingBecomesOneEntryInValidatorOrder) {
    rapidjson::Document value;
    std::vector<ValidationErrorInfo> errors;
    EXPECT_FALSE(ValidateInputSet("host", "misc", "motd", R"({"text": "AB"})", value, errors));
    rapidjson::Document schema = Json(R"({"type": "object", "properties": {
        "text": {"type": "string", "minLength": 4, "pattern": "^[a-z]*$"}}})");
    rapidjson::Document found;
    JsonValidator::Validate(schema, Json(R"({"text": "AB"})"), found, {}, "");
    ASSERT_EQ(2u, found.Size());
    ASSERT_EQ(2u, errors.size());
    for (rapidjson::SizeType i = 0; i < 2; ++i) {
        EXPECT_EQ(found[i]["field"].GetString(), errors[i].path);
        ASSERT_EQ(1u, errors[i].messages.size());
        EXPECT_EQ(JsonValidator::ConvertErrorCodeToMsgId(found[i]["errId"].GetInt()),
                  errors[i].messages[0].id);
        EXPECT_EQ(found[i]["errArgs"].Size(), errors[i].messages[0].args.size());
    }
    EXPECT_EQ(errors[0].path, errors[1].path);
    EXPECT_NE(errors[0].messages[0].id, errors[1].messages[0].id);
}

TEST_F(HostApiTest, ASetWithoutImpactIsAppliedAtOnce) {
    SetChain chain = PrepareSet("time", "zone", R"({"zone": "CET"})");
    EXPECT_EQ(R"({"host":{"time":{"zone":{"zone":"CET"}}}})", Text(chain.relevant));
    EXPECT_EQ(R"({"host":{"time":{"zone":{"zone":"UTC"}}}})", Text(chain.current));
    EXPECT_FALSE(chain.impact.compliant);
    EXPECT_EQ(NO_IMPACT, chain.impact.impact);
    EXPECT_TRUE(Set(chain, "time", "zone").id.empty());
    EXPECT_EQ(std::vector<std::string>{"storetest:zone"}, AppliedPlugins());
    EXPECT_EQ(std::vector<std::string>{R"(={"zone":"CET"})"},
              Rows(RowTable::kCurrent, "time", "zone"));
    // Only the key changed: the other keys of the host were not deleted.
    EXPECT_TRUE(Complies(Desired({{"/host/time/zone/zone", "\"CET\""}})));
}

TEST_F(HostApiTest, AMaintenanceModeSetIsRefusedOutsideItAndAppliedInside) {
    SetChain chain = PrepareSet("storage", "cache", R"({"size": 8})");
    ASSERT_EQ(MAINTENANCE_MODE_REQUIRED, chain.impact.impact);
    ExpectStoreError(NOT_IN_MAINT_MODE, [&] { Set(chain, "storage", "cache"); }, {});
    EXPECT_TRUE(AppliedPlugins().empty());
    WriteFile(TarnPaths::kMaintenanceModeFile, "1\n");
    EXPECT_TRUE(Set(chain, "storage", "cache").id.empty());
    EXPECT_EQ(std::vector<std::string>{R"(={"size":8})"},
              Rows(RowTable::kCurrent, "storage", "cache"));
}

TEST_F(HostApiTest, ARebootSetIsStoredOncePerInstanceAndNothingRuns) {
    SetChain chain = PrepareSet("net", "links", R"([{"name": "eth0", "mtu": 9000},
        {"name": "eth1", "mtu": 9000}, {"name": "eth2", "mtu": 9000}])");
    ASSERT_EQ(REBOOT_REQUIRED, chain.impact.impact);
    std::size_t callsBefore = PluginCalls().size();
    EXPECT_TRUE(Set(chain, "net", "links").id.empty());
    EXPECT_EQ((std::vector<std::string>{R"(eth0={"name":"eth0","mtu":9000})",
                                        R"(eth1={"name":"eth1","mtu":9000})",
                                        R"(eth2={"name":"eth2","mtu":9000})"}),
              Rows(RowTable::kDesired, "net", "links"));
    EXPECT_EQ(TarnConfigStore::HOSTAPI_PENDING, TarnConfigStore::GetBootMode());
    EXPECT_EQ(callsBefore, PluginCalls().size());
    EXPECT_EQ(2u, Rows(RowTable::kCurrent, "net", "links").size());

    // The key now waits for a reboot: a second change of it is refused.
    rapidjson::Document value = Json(R"([{"name": "eth0", "speed": 10}])"), desired, current,
                        relevant;
    ExpectStoreError(
        HOST_IN_DBM,
        [&] { GenerateSetDocuments("host", "net", "links", value, desired, current, relevant); },
        {});

    // A delete needing a reboot removes only what is stored.
    ImpactResult reboot;
    reboot.impact = REBOOT_REQUIRED;
    EXPECT_TRUE(DeleteConfig(current, reboot, "host", "net", "links", task).id.empty());
    EXPECT_TRUE(Rows(RowTable::kDesired, "net", "links").empty());
    EXPECT_EQ(2u, Rows(RowTable::kCurrent, "net", "links").size());
    EXPECT_EQ(callsBefore, PluginCalls().size());
}

TEST_F(HostApiTest, SetAndDeleteAreRefusedWhileADesiredDocumentWaitsForAReboot) {
    SetChain chain = PrepareSet("time", "zone", R"({"zone": "CET"})");
    TarnConfigStore::SetBootMode(TarnConfigStore::DESIRED_PENDING);
    std::size_t callsBefore = PluginCalls().size();
    ExpectStoreError(HOST_IN_DBM, [&] { Set(chain, "time", "zone"); }, {});
    ExpectStoreError(
        HOST_IN_DBM,
        [&] { DeleteConfig(chain.current, chain.impact, "host", "time", "zone", task); }, {});
    EXPECT_EQ(callsBefore, PluginCalls().size());
    EXPECT_EQ(std::vector<std::string>{R"(={"zone":"UTC"})"},
              Rows(RowTable::kCurrent, "time", "zone"));
}

TEST_F(HostApiTest, ADeleteRemovesEveryInstancePresent) {
    ValidateInputDelete("host", "net", "links");
    rapidjson::Document current, relevant;
    GenerateDeleteDocuments("host", "net", "links", current, relevant);
    rapidjson::Document empty(rapidjson::kObjectType);
    ImpactResult impact = CheckImpact(empty, current, task);
    ASSERT_EQ(NO_IMPACT, impact.impact);
    EXPECT_FALSE(impact.compliant);
    EXPECT_TRUE(DeleteConfig(current, impact, "host", "net", "links", task).id.empty());
    EXPECT_TRUE(Rows(RowTable::kCurrent, "net", "links").empty());
    EXPECT_EQ(1u, Rows(RowTable::kCurrent, "time", "zone").size());
}

TEST_F(HostApiTest, DocumentsOfAKeyWithoutConfigurationAreLeftAlone) {
    rapidjson::Document current = Json(R"({"keep": 1})"), relevant = Json(R"({"keep": 2})");
    GenerateDeleteDocuments("host", "misc", "motd", current, relevant);
    EXPECT_EQ(R"({"keep":1})", Text(current));
    EXPECT_EQ(R"({"keep":2})", Text(relevant));
}

TEST_F(HostApiTest, AChangedKeyWithoutApplyPluginRaises2085) {
    SetChain chain = PrepareSet("misc", "motd", R"({"text": "hello"})");
    ASSERT_EQ(NO_IMPACT, chain.impact.impact);
    ExpectStoreError(APPLY_PLUGIN_ABSENT, [&] { Set(chain, "misc", "motd"); }, {"motd"});
    EXPECT_TRUE(AppliedPlugins().empty());
}

}  // namespace
