// Manifest schema loading and the whole-directory check.
#include <gtest/gtest.h>

#include <map>

#include "deradidezivizoda/plugins/plugin_schema_check.h"
#include "host_root_fixture.h"
#include "plugin_files.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace {

class PluginSchemaCheckTest : public TarnTest::HostRootTest {
protected:
    std::string dir = TarnTest::RootPath("schemas-under-test/");

    std::string Write(const std::string& name, const std::string& text) {
        TarnTest::WriteFile(dir + name, text);
        return dir + name;
    }
    static std::string SchemaOf(const std::string& version) {
        return R"({"properties": {"version": )" + version + "}}";
    }
};

TEST_F(PluginSchemaCheckTest, SchemaFileChecksStopAtTheFirstProblem) {
    const std::string p = dir + "s.json";
    const std::string v =
        "The property \"version\" of the property \"properties\" from the schema ";
    const std::string m =
        "The property \"minimum\" of the property \"version\" of the property "
        "\"properties\" from the schema ";
    const std::pair<std::string, std::string> cases[] = {
        {"{", "Failed to parse the schema file \"" + p + "\""},
        {"[]", "The schema " + p + " is not a JSON object"},
        {"{}", "The schema " + p + " does not have a property called \"properties\""},
        {R"({"properties": 1})",
         "The schema " + p + "'s property \"properties\" is not a JSON object"},
        {R"({"properties": {}})",
         "The property \"version\" of the property \"properties\" from  "
         "the schema " +
             p + " does not exist"},
        {SchemaOf("true"), v + p + " is not a JSON object"},
        {SchemaOf("{}"), v + p + " does not have a property called \"minimum\""},
        {SchemaOf(R"({"minimum": 1.5})"), m + p + " has a value whose type is not Int64"},
        {SchemaOf(R"({"minimum": 0})"),
         m + p + " has a value whose type is Int64, but the value is not 1, 2 or 3"},
        {SchemaOf(R"({"minimum": 2})"), v + p + " does not have a property called \"maximum\""},
        {SchemaOf(R"({"minimum": 2, "maximum": "2"})"),
         "The property \"maximum\" of the property \"version\" of the property \"properties\" "
         "from the schema " +
             p + " has a value whose type is not Int64"},
    };
    std::string error;
    rapidjson::Document schema;
    EXPECT_EQ(-1, CreatePluginSchemaFromFile(p, schema, error));
    EXPECT_EQ("Failed to open the schema file \"" + p + "\"", error);
    for (const auto& [text, message] : cases) {
        Write("s.json", text);
        EXPECT_EQ(-1, CreatePluginSchemaFromFile(p, schema, error)) << text;
        EXPECT_EQ(message, error);
    }
    Write("s.json", SchemaOf(R"({"minimum": 3, "maximum": 3})"));
    EXPECT_EQ(3, CreatePluginSchemaFromFile(p, schema, error));
    EXPECT_EQ("", error);
    EXPECT_EQ(3, schema["properties"]["version"]["maximum"].GetInt());
}

TEST_F(PluginSchemaCheckTest, SchemasAreKeyedByTheVersionTheyServe) {
    std::string error = "stale";
    Write("plugin_version_1_schema.json", SchemaOf(R"({"minimum": 1, "maximum": 1})"));
    Write("plugin_version_2_schema.json", SchemaOf(R"({"minimum": 2, "maximum": 2})"));
    Write("plugin_version_3_schema.json",
          R"({"title": "later", "properties": {"version": {"minimum": 2, "maximum": 9}}})");
    auto schemas = CreatePluginSchemas(dir, error);
    EXPECT_EQ("", error);
    ASSERT_EQ(2u, schemas.size());
    EXPECT_STREQ("later", schemas.at(2)["title"].GetString());

    Write("plugin_version_2_schema.json", SchemaOf(R"({"minimum": 4, "maximum": 4})"));
    EXPECT_TRUE(CreatePluginSchemas(dir, error).empty());
    EXPECT_NE(std::string::npos, error.find("is not 1, 2 or 3")) << error;

    TarnTest::InstallManifestSchemas();
    schemas = CreatePluginSchemas(TarnPaths::kPluginSchemaDir, error);
    EXPECT_EQ("", error);
    EXPECT_EQ(3u, schemas.size());
}

TEST_F(PluginSchemaCheckTest, ValidateAllPluginsReportsEachBadManifest) {
    TarnTest::InstallManifestSchemas();
    const char valid[] = R"({"type": "c++", "accepts": ["a:b:c"], "apply_group": "network",
                             "boot": false, "operations": {}})";
    TarnTest::InstallManifest("good", valid);
    TarnTest::InstallManifest("good", "{", "plugin.json.bak");
    TarnTest::InstallManifest("good", "{", "upper.JSON");
    std::string future = TarnTest::InstallManifest("future", R"({"version": 7})");
    std::string broken = TarnTest::InstallManifest("broken", "{\"type\":");
    std::string partial = TarnTest::InstallManifest("partial", R"({"version": 2, "type": "c++"})");

    rapidjson::Document result;
    ValidateAllPlugins(TarnPaths::kPluginDir, TarnPaths::kPluginSchemaDir, result);
    ASSERT_TRUE(result.IsArray());
    std::map<std::string, const rapidjson::Value*> findings;
    for (const rapidjson::Value& finding : result.GetArray()) {
        ASSERT_EQ(2u, finding.MemberCount());
        EXPECT_STREQ("file", finding.MemberBegin()->name.GetString());
        findings[finding["file"].GetString()] = &finding["validation_errors"];
    }
    ASSERT_EQ(3u, findings.size()) << JsonToString(result);
    EXPECT_STREQ("The version is not supported", findings.at(future)->GetString());
    EXPECT_EQ("Failed to parse the data from file \"" + broken + "\"",
              findings.at(broken)->GetString());
    const rapidjson::Value& errors = *findings.at(partial);
    ASSERT_EQ(1u, errors.Size());
    EXPECT_EQ(partial + "/accepts", errors[0]["field"].GetString());
}

TEST_F(PluginSchemaCheckTest, MissingFoldersGiveOneFinding) {
    rapidjson::Document result;
    ValidateAllPlugins(TarnPaths::kPluginDir, dir, result);
    ASSERT_EQ(1u, result.Size());
    EXPECT_EQ(dir, result[0]["file"].GetString());
    EXPECT_EQ("Failed to open the schema file \"" + dir + "plugin_version_1_schema.json\"",
              result[0]["validation_errors"].GetString());

    TarnTest::InstallManifestSchemas();
    ValidateAllPlugins(dir + "none", TarnPaths::kPluginSchemaDir, result);
    ASSERT_EQ(1u, result.Size());
    std::string text = result[0]["validation_errors"].GetString();
    EXPECT_EQ(0u, text.find("Failed to iterate over " + dir + "none recursively, error: ")) << text;
}

TEST(PluginVersion, OnlyA64BitIntegerVersionCounts) {
    rapidjson::Document manifests;
    ASSERT_TRUE(TarnConfigStore::ParseJsonText(
        std::string(R"([{"version": 3}, {"version": -2}, {"version": "3"}, {"version": 3.0},
                        {"version": 18446744073709551615}, {}, [{"version": 3}]])"),
        manifests));
    const long expected[] = {3, -2, 1, 1, 1, 1, 1};
    for (rapidjson::SizeType i = 0; i < manifests.Size(); ++i) {
        EXPECT_EQ(expected[i], GetPluginVersion(manifests[i])) << i;
    }
}

}  // namespace
