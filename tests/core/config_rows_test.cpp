#include <gtest/gtest.h>

#include "deradidezivizoda/core/config_object.h"
#include "deradidezivizoda/core/config_rows.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/exceptions.h"
#include "host_root_fixture.h"
#include "schema_files.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/schemastore/schema_store.h"

using namespace TarnConfigManager;
using TarnConfigStore::ConfigStoreObjectId;

namespace {

const char kUserDefinition[] = R"({"type":"object","properties":{
    "name":{"type":"string"},"uid":{"type":"integer","minimum":1000}},"required":["name"]})";

std::shared_ptr<TarnConfigStore::ConfigRow> Row(const std::string& identifier,
                                                const std::string& value) {
    return std::make_shared<TarnConfigStore::ConfigRow>(
        TarnConfigStore::ConfigRow{{"Identifier", identifier}, {"Value", value}});
}

std::string Text(const rapidjson::Value& value) {
    std::string text;
    SerializeValue(value, text);
    return text;
}

class ConfigRows : public TarnTest::HostRootTest {
protected:
    void SetUp() override {
        TarnTest::HostRootTest::SetUp();
        TarnTest::InstallKeySchema("host", "accounts", "users", kUserDefinition, "name");
        TarnTest::InstallKeySchema("host", "time", "zone",
                                   R"({"type":"object","properties":{"tz":{"type":"string"}}})",
                                   "");
        TarnTest::InstallKeySchema("host", "dns", "servers",
                                   R"({"type":"object","properties":{"ip":{"type":"string"}}})",
                                   "cs_generated_id");
        store_ = TarnSchemaStore::SchemaStore::GetStore();
        ASSERT_TRUE(store_);
    }
    std::shared_ptr<TarnSchemaStore::SchemaObject> Schema(const std::string& group,
                                                          const std::string& key) {
        auto schema = TarnSchemaStore::GetSchema("host", group, key, store_);
        EXPECT_TRUE(schema);
        return schema;
    }
    std::shared_ptr<TarnSchemaStore::SchemaStore> store_;
};

}  // namespace

TEST(CreateDocumentFromMap, BuildsOneValueOrAnArray) {
    EXPECT_EQ(Text(CreateDocumentFromMap({Row("", R"({"tz":"UTC"})")})), R"({"tz":"UTC"})");
    EXPECT_EQ(Text(CreateDocumentFromMap({Row("a", R"({"n":"a"})")})), R"([{"n":"a"}])");
    EXPECT_EQ(Text(CreateDocumentFromMap({})), "[]");
    EXPECT_EQ(Text(CreateDocumentFromMap({Row("b", "1"), Row("a", "[2]")})), "[1,[2]]");
    TarnConfigStore::ConfigRowList noColumns = {std::make_shared<TarnConfigStore::ConfigRow>()};
    EXPECT_THROW(CreateDocumentFromMap(noColumns), InvalidArgumentException);
    EXPECT_THROW(CreateDocumentFromMap({Row("a", "1"), Row("b", "{")}), InvalidArgumentException);
}

TEST_F(ConfigRows, ReservedInstancesAreHiddenOnlyForKeyedMultiInstanceKeys) {
    TarnTest::InstallKeySchema("host", "accounts", "users",
                               std::string(R"({"definition":)") + kUserDefinition +
                                   R"(,"multiInstance":true,"instanceKey":"name",)"
                                   R"("reservedInstanceIds":["root","daemon"]})");
    store_ = TarnSchemaStore::SchemaStore::GetStore();
    ConfigRowList rows = {Row("root", "{}"), Row("alice", "{}"), Row("daemon", "{}"),
                          Row("bob", "{}")};
    FilterSolutionUserInstances(rows, Schema("accounts", "users"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->at("Identifier"), "alice");
    EXPECT_EQ(rows[1]->at("Identifier"), "bob");

    auto connection = TarnConfigStore::GetDBStore(DBStore::Type(0), true);
    for (const char* name : {"root", "carol"}) {
        TarnConfigStore::PutDefaultRow(connection, "host", "accounts", "users", name,
                                       std::string(R"({"name":")") + name + "\"}");
    }
    ConfigRowList defaults = GetExternalDefaultUserConfig(
        ConfigStoreObjectId("users", "accounts", "host"), connection, Schema("accounts", "users"));
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults[0]->at("Identifier"), "carol");

    ConfigRowList generated = {Row("root", "{}")};
    FilterSolutionUserInstances(generated, Schema("dns", "servers"));
    EXPECT_EQ(generated.size(), 1u);
}

TEST_F(ConfigRows, InstanceIdComesFromTheKeyProperty) {
    rapidjson::Document value;
    ParseDocument(R"({"name":"alice","uid":7})", value);
    EXPECT_EQ(GetInstanceIdFromValue(value, Schema("accounts", "users")), "alice");
    rapidjson::Document notAnObject;
    ParseDocument("[1]", notAnObject);
    EXPECT_EQ(GetInstanceIdFromValue(notAnObject, Schema("time", "zone")), "");
    for (const char* text : {R"({"name":7})", R"({"uid":1})", "[1]"}) {
        rapidjson::Document bad;
        ParseDocument(text, bad);
        try {
            GetInstanceIdFromValue(bad, Schema("accounts", "users"));
            ADD_FAILURE() << text;
        } catch (const ConfigManagerException& e) {
            EXPECT_EQ(e.GetCode(), 2084);
            EXPECT_STREQ(e.what(), "Invalid value for key name");
        }
    }
}

TEST_F(ConfigRows, StoredObjectsAreCheckedAgainstTheirDefinition) {
    ConfigStoreObjectId id("users", "accounts", "host", "alice");
    EXPECT_TRUE(IsValidCSO(
        Schema("accounts", "users"),
        TarnConfigStore::CreateObject(id, R"({"name":"alice","uid":1000})", std::nullopt)));
    CSLogger::Capture capture;
    EXPECT_FALSE(IsValidCSO(Schema("accounts", "users"),
                            TarnConfigStore::CreateObject(id, R"({"uid":"x"})", std::nullopt)));
    std::vector<CSLogger::Line> lines = capture.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].priority, 0);
    EXPECT_EQ(lines[0].text,
              "Invalid ConfigStoreObject: comp host grp accounts key users id alice");
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].priority, 0);
        EXPECT_EQ(lines[i].text.find('%'), std::string::npos) << lines[i].text;
    }
}
