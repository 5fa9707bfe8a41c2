#include "tarn/schemastore/schema_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"

namespace TarnSchemaStore {
namespace {

const SchemaObjectId kId("network", "dns", "servers");

std::shared_ptr<SchemaObject> Build(const std::string& text) {
    rapidjson::Document file;
    TarnConfigStore::JsonParseError error;
    if (!TarnConfigStore::ParseJsonText(text, file, &error)) {
        throw std::runtime_error("test schema is not JSON: " + error.message);
    }
    return SchemaObject::Create(kId, file, "servers.json");
}

// A keyed instance definition with one extra property of the given definition.
std::string KeyedFile(const std::string& extraProperty, const std::string& facts = "") {
    return R"({"multiInstance": true, "instanceKey": "name", )" + facts +
           R"("definition": {"type": "object", "properties": {"name": {"type": "string"}, )"
           R"("extra": )" +
           extraProperty + "}}}";
}

// A keyed key that needs a reboot after "SET", with the given extra property.
std::string RebootKey(const std::string& extraProperty) {
    return KeyedFile(extraProperty, R"("rebootRequired": ["SET"], )");
}

TEST(SchemaObjectTest, SingleInstanceKeyReadsEveryFact) {
    auto schema = Build(R"({
        "description": "resolver settings", "version": 3,
        "definition": {"type": "object", "properties": {"timeout": {"type": "integer"}}},
        "rebootRequired": ["ADD", "DELETE"], "maintenanceModeRequired": ["SET"],
        "userConfig": true, "integrated": false, "mutableDefault": true, "smartnic": true})");
    EXPECT_FALSE(schema->IsMultiInstance());
    EXPECT_EQ("", schema->GetInstanceKey());
    EXPECT_STREQ("integer", schema->GetDefinition()["properties"]["timeout"]["type"].GetString());
    EXPECT_EQ(R"({"type":"object","properties":{"timeout":{"type":"integer"}}})",
              schema->GetUserConfigSchema());
    EXPECT_EQ("network.dns.servers@3", schema->GetSchemaText());
    EXPECT_FALSE(schema->IsIntegrated());
    EXPECT_TRUE(schema->HasMutableDefault());
    EXPECT_TRUE(schema->IsSmartnic());
    EXPECT_FALSE(schema->IsTelemetryDisabled());
}

TEST(SchemaObjectTest, AbsentFactsTakeTheirDefaults) {
    auto schema = Build(R"({"definition": {"type": "string"}})");
    EXPECT_EQ("network.dns.servers@1", schema->GetSchemaText());
    EXPECT_EQ("", schema->GetUserConfigSchema());
    EXPECT_TRUE(schema->IsIntegrated());
    EXPECT_FALSE(schema->HasMutableDefault() || schema->IsSmartnic());
}

TEST(SchemaObjectTest, MultiInstanceKeysCarryInstanceKeyReservedIdsAndTelemetryFlag) {
    auto keyed = Build(
        KeyedFile(R"({"type": "string"})", R"("reservedInstanceIds": ["vendor-a", "vendor-b"], )"));
    EXPECT_TRUE(keyed->IsMultiInstance());
    EXPECT_EQ("name", keyed->GetInstanceKey());
    EXPECT_EQ((std::vector<std::string>{"vendor-a", "vendor-b"}), keyed->GetReservedInstanceIds());

    auto byContent = Build(R"({"multiInstance": true, "instanceKey": "cs_generated_id",
        "definition": {"type": "object", "telemetryDisabled": true,
                       "properties": {"line": {"type": "string"}}}})");
    EXPECT_EQ(kGeneratedInstanceKey, byContent->GetInstanceKey());
    EXPECT_TRUE(byContent->IsTelemetryDisabled());
    EXPECT_TRUE(byContent->GetDefinition()["telemetryDisabled"].GetBool());
}

TEST(SchemaObjectTest, ImpactQueriesReplaceTheListAndReportPropertyTriggers) {
    auto schema = Build(R"({"rebootRequired": ["SET", "ADD"],
        "maintenanceModeRequired": ["SET"],
        "definition": {"type": "object", "properties": {
            "mtu": {"type": "integer", "rebootRequired": {"SET": [9000]},
                    "maintenanceModeRequired": {"SET": []}},
            "ratio": {"type": "number", "rebootRequired": {"SET": [1.5, 2]}},
            "enabled": {"type": "boolean", "maintenanceModeRequired": {"SET": [false]}},
            "mode": {"type": "string", "rebootRequired": {"SET": ["strict"]}},
            "routes": {"type": "array", "instanceId": "dest", "items": {"type": "object",
                "properties": {"dest": {"type": "string"},
                               "metric": {"type": "integer", "rebootRequired": {"SET": [0]}}}}}
        }}})");
    // The handler asks both queries with the same list object.
    std::vector<std::string> operations;
    bool rebootTriggers = false;
    bool maintenanceTriggers = false;
    EXPECT_EQ(kSchemaQueryOk, schema->GetRebootRequiredOperations(operations, rebootTriggers));
    EXPECT_EQ((std::vector<std::string>{"SET", "ADD"}), operations);
    EXPECT_TRUE(rebootTriggers);
    EXPECT_EQ(kSchemaQueryOk,
              schema->GetMaintenanceModeRequiredOperations(operations, maintenanceTriggers));
    EXPECT_EQ((std::vector<std::string>{"SET"}), operations);
    EXPECT_TRUE(maintenanceTriggers);
    // The triggers stay in the definition, where the property walk reads them.
    const rapidjson::Value& metric =
        schema->GetDefinition()["properties"]["routes"]["items"]["properties"]["metric"];
    EXPECT_EQ(0, metric["rebootRequired"]["SET"][0].GetInt());
}

TEST(SchemaObjectTest, TriggersOfOneKindOnlyLeaveTheOtherFlagClear) {
    auto schema = Build(RebootKey(R"({"type": "string", "rebootRequired": {"SET": ["a"]}})"));
    std::vector<std::string> operations{"stale"};
    bool triggers = true;
    EXPECT_EQ(kSchemaQueryOk, schema->GetMaintenanceModeRequiredOperations(operations, triggers));
    EXPECT_TRUE(operations.empty());
    EXPECT_FALSE(triggers);
}

struct Rejection {
    std::string file;
    std::string expected;  // the part of the message that names the problem
};

void PrintTo(const Rejection& rejection, std::ostream* out) {
    *out << rejection.expected;
}

class SchemaObjectRejectionTest : public ::testing::TestWithParam<Rejection> {};

TEST_P(SchemaObjectRejectionTest, NamesTheFileAndTheMember) {
    try {
        Build(GetParam().file);
        FAIL() << "accepted: " << GetParam().file;
    } catch (const TarnConfigStore::ConfigStoreException& error) {
        EXPECT_EQ(kSchemaFileError, error.GetCode());
        std::string message = error.what();
        EXPECT_EQ(0u, message.find("servers.json: ")) << message;
        EXPECT_NE(std::string::npos, message.find(GetParam().expected)) << message;
        ASSERT_EQ(2u, error.GetArgs().size());
        EXPECT_EQ("servers.json", error.GetArgs()[0]);
    }
}

const char kObjectDefinition[] = R"("definition": {"type": "object", "properties": {}})";

INSTANTIATE_TEST_SUITE_P(
    Facts, SchemaObjectRejectionTest,
    ::testing::Values(
        Rejection{"[]", "(file): a schema file holds one JSON object"},
        Rejection{R"({"multiInstanse": true, "definition": {"type": "string"}})",
                  "multiInstanse: is not a member"},
        Rejection{R"({"definition": {"type": "string"}, "version": 0})", "version: must be"},
        Rejection{R"({"definition": {"type": "string"}, "userConfig": "yes"})",
                  "userConfig: must be true or false"},
        Rejection{"{}", "definition: is missing"},
        Rejection{R"({"multiInstance": true, )" + std::string(kObjectDefinition) + "}",
                  "instanceKey: a multi-instance key needs"},
        Rejection{R"({"instanceKey": "name", "definition": {"type": "string"}})",
                  "instanceKey: only a multi-instance key"},
        Rejection{R"({"multiInstance": true, "instanceKey": "cs_generated_id",
                      "reservedInstanceIds": ["a"], )" +
                      std::string(kObjectDefinition) + "}",
                  "reservedInstanceIds: only"},
        Rejection{KeyedFile("{}", R"("reservedInstanceIds": ["a", "a"], )"),
                  "reservedInstanceIds/1: repeats \"a\""},
        Rejection{R"({"rebootRequired": ["UPDATE"], "definition": {"type": "string"}})",
                  "rebootRequired/0: must be one of the operations"},
        Rejection{R"({"maintenanceModeRequired": "SET", "definition": {"type": "string"}})",
                  "maintenanceModeRequired: must be an array"}));

INSTANTIATE_TEST_SUITE_P(
    Definition, SchemaObjectRejectionTest,
    ::testing::Values(
        Rejection{R"({"definition": {"properties": {}}})", "definition: must be a JSON Schema"},
        Rejection{R"({"definition": {"type": "object"}})", "definition: an object needs"},
        Rejection{R"({"multiInstance": true, "instanceKey": "name",
                      "definition": {"type": "array", "items": {"type": "object"}}})",
                  "definition/type: the instances of a multi-instance key must be objects"},
        Rejection{R"({"multiInstance": true, "instanceKey": "name", "definition": {
                      "type": "object", "properties": {"name": {"type": "integer"}}}})",
                  "definition: the instance key \"name\" must be a property of type string"},
        Rejection{KeyedFile(R"({"type": "array"})"), "definition/properties/extra: an array"},
        Rejection{KeyedFile(R"({"type": "array", "items": {"type": "object", "properties": {}}})"),
                  "an array of objects needs \"instanceId\""},
        Rejection{KeyedFile(R"({"type": "array", "instanceId": "id",
                               "items": {"type": "object", "properties": {}}})"),
                  "definition/properties/extra/items: the instance key \"id\""},
        Rejection{KeyedFile(R"({"type": "object", "properties": {}, "telemetryDisabled": true})"),
                  "definition/properties/extra/telemetryDisabled: belongs at the root"},
        Rejection{R"({"definition": {"type": "string", "telemetryDisabled": true}})",
                  "definition/telemetryDisabled: only multi-instance keys"}));

INSTANTIATE_TEST_SUITE_P(
    Triggers, SchemaObjectRejectionTest,
    ::testing::Values(
        Rejection{RebootKey(R"({"type": "integer", "rebootRequired": {"SET": [1, 2.5]}})"),
                  "extra/rebootRequired/SET/1: is not a value of type integer"},
        Rejection{RebootKey(R"({"type": "number", "rebootRequired": {"SET": ["1"]}})"),
                  "extra/rebootRequired/SET/0: is not a value of type number"},
        Rejection{KeyedFile(R"({"type": "boolean", "maintenanceModeRequired": {"SET": [1]}})",
                            R"("maintenanceModeRequired": ["SET"], )"),
                  "extra/maintenanceModeRequired/SET/0: is not a value of type boolean"},
        Rejection{RebootKey(R"({"type": "string", "rebootRequired": {"SET": [true]}})"),
                  "extra/rebootRequired/SET/0: is not a value of type string"},
        Rejection{RebootKey(R"({"type": "string", "rebootRequired": {"ADD": []}})"),
                  "extra/rebootRequired/SET: must be an array"},
        Rejection{RebootKey(R"({"type": "object", "properties": {},
                               "rebootRequired": {"SET": []}})"),
                  "extra/rebootRequired: a trigger needs a property of type"},
        Rejection{RebootKey(R"({"type": "array", "items": {"type": "string",
                               "rebootRequired": {"SET": []}}})"),
                  "extra/items/rebootRequired: a trigger fires only on a property"},
        Rejection{R"({"rebootRequired": ["SET"],
                      "definition": {"type": "string", "rebootRequired": {"SET": []}}})",
                  "definition/rebootRequired: a trigger fires only on a property"},
        Rejection{KeyedFile(R"({"type": "string", "rebootRequired": {"SET": []}})",
                            R"("rebootRequired": ["ADD"], )"),
                  "rebootRequired: property triggers of this kind count only when it lists"},
        Rejection{KeyedFile(R"({"type": "string", "rebootRequired": {"SET": []}})",
                            R"("rebootRequired": ["SET"], "maintenanceModeRequired": ["SET"], )"),
                  "maintenanceModeRequired: \"SET\" would never count"}));

}  // namespace
}  // namespace TarnSchemaStore
