// Schemas compiled once and reused: results must not depend on what was validated before.
#include <gtest/gtest.h>

#include <string>

#include "host_root_fixture.h"
#include "tarn/json/json_text.h"
#include "tarn/validator/json_validator.h"

namespace {

std::string ErrorsOf(const rapidjson::Value& schema, const std::string& valueText) {
    rapidjson::Document value;
    EXPECT_TRUE(TarnConfigStore::ParseJsonText(valueText, value)) << valueText;
    rapidjson::Document errors;
    JsonValidator::Validate(schema, value, errors, {}, "");
    for (auto& error : errors.GetArray()) {
        error.RemoveMember("error");
    }
    return TarnConfigStore::WriteJsonText(errors);
}

std::string ErrorsOf(const std::string& schemaText, const std::string& valueText) {
    rapidjson::Document schema;
    EXPECT_TRUE(TarnConfigStore::ParseJsonText(schemaText, schema)) << schemaText;
    return ErrorsOf(schema, valueText);
}

TEST(CompiledSchemaCache, AnEqualSchemaFromAnotherDocumentReusesNothingOfTheFirst) {
    // The enum list of the first document is gone when the second, equal schema is used.
    EXPECT_EQ("[]", ErrorsOf(R"({"enum": ["a", "b"]})", R"("a")"));
    EXPECT_EQ(R"([{"field":"","errId":6,"errArgs":["[\"a\",\"b\"]"]}])",
              ErrorsOf(R"({"enum": ["a", "b"]})", R"("c")"));

    // A schema whose strings live in the caller's buffer: a changed buffer is another schema.
    std::string type = "integer";
    rapidjson::Document schema(rapidjson::kObjectType);
    schema.AddMember("type", rapidjson::StringRef(type.c_str()), schema.GetAllocator());
    EXPECT_EQ("[]", ErrorsOf(schema, "1"));
    type = "boolean";
    EXPECT_EQ(R"([{"field":"","errId":5,"errArgs":["boolean","integer"]}])", ErrorsOf(schema, "1"));
    // Evicted entries are compiled again.
    for (int i = 0; i < 40; ++i) {
        ErrorsOf(R"({"maximum": )" + std::to_string(i) + "}", "0");
    }
    EXPECT_EQ(R"([{"field":"","errId":5,"errArgs":["integer","boolean"]}])",
              ErrorsOf(R"({"type": "integer"})", "true"));
}

class CompiledSchemaCacheFolder : public TarnTest::HostRootTest {};

TEST_F(CompiledSchemaCacheFolder, UnresolvedReferencesAreResolvedOnceTheirFileIsMapped) {
    const char schema[] = R"({"$ref": "http://late.example/port.json"})";
    EXPECT_EQ(R"([{"field":"","errId":2,"errArgs":["http://late.example/port.json"]}])",
              ErrorsOf(schema, "70000"));
    std::string folder = TarnTest::RootPath("var/tmp/late");
    TarnTest::WriteFile(folder + "/port.json", R"({"type": "integer", "maximum": 65535})");
    JsonValidator::MapRemoteSchemas("http://late.example/", folder);
    EXPECT_EQ(R"([{"field":"","errId":15,"errArgs":["65535"]}])", ErrorsOf(schema, "70000"));
}

}  // namespace
