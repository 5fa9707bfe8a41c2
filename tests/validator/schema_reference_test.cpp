// "$ref" resolution beyond the test suite: identifiers inside a schema, files under mapped
// folders, and the references that must stay unresolved.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_root_fixture.h"
#include "tarn/json/json_text.h"
#include "tarn/validator/json_validator.h"

namespace {

std::vector<std::string> ErrorsOf(const std::string& schemaText, const std::string& valueText) {
    rapidjson::Document schema;
    rapidjson::Document value;
    EXPECT_TRUE(TarnConfigStore::ParseJsonText(schemaText, schema)) << schemaText;
    EXPECT_TRUE(TarnConfigStore::ParseJsonText(valueText, value)) << valueText;
    rapidjson::Document errors;
    JsonValidator::Validate(schema, value, errors, {}, "");
    std::vector<std::string> out;
    for (const auto& error : errors.GetArray()) {
        out.push_back(std::string(error["field"].GetString()) + " " +
                      std::to_string(error["errId"].GetInt()));
    }
    return out;
}

TEST(SchemaReference, IdentifiersNameSchemasWithinTheDocument) {
    const char schema[] = R"({
        "id": "http://x.example/root.json",
        "definitions": {
            "a": {"id": "#alpha", "type": "string"},
            "b": {"id": "nested/other.json", "definitions": {"c": {"type": "boolean"}},
                  "properties": {"d": {"$ref": "#/definitions/c"}}}
        },
        "properties": {
            "p": {"$ref": "#alpha"},
            "q": {"$ref": "nested/other.json#/definitions/c"},
            "r": {"$ref": "http://x.example/root.json#/definitions/a"},
            "s": {"$ref": "http://x.example/nested/other.json"},
            "t": {"$ref": "#beta"}
        }
    })";
    EXPECT_EQ(ErrorsOf(schema, R"({"p": 1, "q": 1, "r": 1, "s": {"d": 1}, "t": 1})"),
              (std::vector<std::string>{"/p 5", "/q 5", "/r 5", "/s/d 5", "/t 2"}));
    EXPECT_TRUE(ErrorsOf(schema, R"({"p": "x", "q": true, "r": "y", "s": {"d": false}})").empty());
}

TEST(SchemaReference, PointersUnescapeAndRejectWhatIsNotASchema) {
    const char schema[] = R"({
        "definitions": {"a/b": {"type": "integer"}, "c~d": {"type": "string"}},
        "parts": [{"type": "null"}, {"type": "boolean"}],
        "enum_like": 5,
        "properties": {
            "p": {"$ref": "#/definitions/a~1b"},
            "q": {"$ref": "#/definitions/c~0d"},
            "r": {"$ref": "#/parts/1"},
            "s": {"$ref": "#/parts/01"},
            "t": {"$ref": "#/enum_like"}
        }
    })";
    EXPECT_EQ(ErrorsOf(schema, R"({"p": "x", "q": 1, "r": 1, "s": 1, "t": 1})"),
              (std::vector<std::string>{" 0", " 0", "/p 5", "/q 5", "/r 5", "/s 2", "/t 2"}));
}

class MappedSchemaFolder : public TarnTest::HostRootTest {};

TEST_F(MappedSchemaFolder, ReferencesReadFilesBelowTheMappedPrefixOnly) {
    std::string folder = TarnTest::RootPath("var/tmp/schemas");
    TarnTest::WriteFile(folder + "/common.json",
                        R"({"definitions": {"port": {"type": "integer", "maximum": 65535}}})");
    TarnTest::WriteFile(folder + "/sub/leaf.json",
                        R"({"$ref": "../common.json#/definitions/port"})");
    TarnTest::WriteFile(folder + "/broken.json", R"({"type": )");
    TarnTest::WriteFile(TarnTest::RootPath("var/tmp/outside.json"), R"({"type": "string"})");
    JsonValidator::MapRemoteSchemas("http://mapped.example/", folder);

    const char schema[] = R"({"properties": {
        "a": {"$ref": "http://mapped.example/common.json#/definitions/port"},
        "b": {"$ref": "http://mapped.example/sub/leaf.json"},
        "c": {"$ref": "http://mapped.example/broken.json"},
        "d": {"$ref": "http://mapped.example/../outside.json"},
        "e": {"$ref": "http://unmapped.example/common.json"}}})";
    EXPECT_EQ(ErrorsOf(schema, R"({"a": 70000, "b": "x", "c": 1, "d": 1, "e": 1})"),
              (std::vector<std::string>{"/a 15", "/b 5", "/c 2", "/d 2", "/e 2"}));
    EXPECT_TRUE(ErrorsOf(schema, R"({"a": 22, "b": 443})").empty());
}

TEST(SchemaReference, MetaSchemaIsBuiltIn) {
    const char schema[] = R"({"$ref": "http://json-schema.org/draft-04/schema#"})";
    EXPECT_TRUE(ErrorsOf(schema, R"({"type": "object", "required": ["a"]})").empty());
    EXPECT_EQ(ErrorsOf(schema, R"({"required": []})"), (std::vector<std::string>{"/required 19"}));
    EXPECT_EQ(ErrorsOf(schema, R"({"exclusiveMinimum": true})"),
              (std::vector<std::string>{"/minimum 25"}));
}

}  // namespace
