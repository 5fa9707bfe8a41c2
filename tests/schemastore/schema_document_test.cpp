#include "tarn/schemastore/schema_document.h"

#include <gtest/gtest.h>

#include "host_root_fixture.h"
#include "json_test_text.h"
#include "schema_files.h"
#include "tarn/schemastore/schema_store.h"
#include "tarn/validator/json_validator.h"

namespace TarnSchemaStore {
namespace {

using TarnTest::JsonText;
using TarnTest::ParseJson;

class SchemaDocumentTest : public TarnTest::HostRootTest {
protected:
    void SetUp() override {
        TarnTest::HostRootTest::SetUp();
        // The resolver's definition refers to its own definitions.
        TarnTest::InstallKeySchema("network", "dns", "resolver", R"({"type": "object",
            "definitions": {"seconds": {"type": "integer", "minimum": 0}},
            "properties": {"timeout": {"$ref": "#/definitions/seconds"}}})",
                                   "");
        TarnTest::InstallKeySchema("network", "links", "interfaces", R"({"type": "object",
            "properties": {"name": {"type": "string"}, "mtu": {"type": "integer"}}})",
                                   "name");
        TarnTest::InstallKeySchema("security", "login", "banner",
                                   R"({"type": "object", "id": "urn:banner",
                                       "properties": {"text": {"type": "string"}}})",
                                   "");
    }

    // Validates a document against the generated schema as whole documents are validated.
    std::string Check(const rapidjson::Value& schema, const std::string& document) {
        rapidjson::Document errors;
        JsonValidator::ValidateCMDocument(schema, ParseJson(document), errors, {0, 1, 3, 7, 8, 11},
                                          "");
        return JsonText(errors);
    }

    rapidjson::Document schema_;
    rapidjson::Document errors_;
};

TEST_F(SchemaDocumentTest, ComposesLevelsAndKeySchemasThatValidateTheDocument) {
    GenerateSchemaDocument(
        ParseJson(R"({"network": {"dns": {"resolver": {}}, "links": {"interfaces": []}}})"),
        SchemaStore::GetCache(), schema_, errors_);
    EXPECT_EQ("[]", JsonText(errors_));

    const rapidjson::Value& network = schema_["properties"]["network"];
    EXPECT_FALSE(network["additionalProperties"].GetBool());
    const rapidjson::Value& resolver = network["properties"]["dns"]["properties"]["resolver"];
    EXPECT_EQ("tarn-key:network/dns/resolver", std::string(resolver["id"].GetString()));
    const rapidjson::Value& interfaces = network["properties"]["links"]["properties"]["interfaces"];
    EXPECT_EQ(R"({"type":"array","instanceId":"name","items":{"type":"object","properties":)"
              R"({"name":{"type":"string"},"mtu":{"type":"integer"}},)"
              R"("id":"tarn-key:network/links/interfaces"}})",
              JsonText(interfaces));

    EXPECT_EQ("[]", Check(schema_, R"({"network": {"dns": {"resolver": {"timeout": 5}},
        "links": {"interfaces": [{"name": "eth0", "mtu": 1500}]}}})"));
    // The definition's own reference, an instance's property and a key the schema lacks.
    EXPECT_EQ(R"([{"field":"/network/dns/resolver/timeout","errId":14,"errArgs":["0"]},)"
              R"({"field":"/network/links/interfaces/0/mtu","errId":5,)"
              R"("errArgs":["integer","string"]},)"
              R"({"field":"/network/links/search","errId":4,"errArgs":["search"]}])",
              Check(schema_, R"({"network": {"dns": {"resolver": {"timeout": -1}},
                  "links": {"interfaces": [{"name": "eth0", "mtu": "x"}], "search": 1}}})"));
}

TEST_F(SchemaDocumentTest, CallsAccumulateKeysAndErrors) {
    auto cache = SchemaStore::GetCache();
    GenerateSchemaDocument(ParseJson(R"({"network": {"dns": {"resolver": {}, "search": []}}})"),
                           cache, schema_, errors_);
    GenerateSchemaDocument(ParseJson(R"({"network": {"dns": {"resolver": 1, "search": []}},
                  "security": {"login": {"banner": {}}, "a/b": {"x~y": {}}, "audit": []}})"),
                           cache, schema_, errors_);

    // The second document adds a component; its own definition id is kept.
    const rapidjson::Value& properties = schema_["properties"];
    EXPECT_EQ(2u, properties.MemberCount());
    EXPECT_EQ(1u, properties["network"]["properties"]["dns"]["properties"].MemberCount());
    EXPECT_EQ(
        "urn:banner",
        std::string(properties["security"]["properties"]["login"]["properties"]["banner"]["id"]
                        .GetString()));
    EXPECT_EQ(R"([{"field":"/network/dns/search","errId":33,)"
              R"("errArgs":["network","dns","search"]},)"
              R"({"field":"/network/dns/search","errId":33,)"
              R"("errArgs":["network","dns","search"]},)"
              R"({"field":"/security/a~1b/x~0y","errId":33,"errArgs":["security","a/b","x~y"]},)"
              R"({"field":"/security/audit","errId":5,"errArgs":["object","array"]}])",
              JsonText(errors_));
    EXPECT_STREQ("com.corvid.tarn.settings.validator.schema-not-found",
                 JsonValidator::ConvertErrorCodeToMsgId(errors_[0]["errId"].GetInt()));
}

TEST_F(SchemaDocumentTest, ValuesThatAreNoDocumentAndAMissingCacheAreReported) {
    GenerateSchemaDocument(ParseJson("[]"), SchemaStore::GetCache(), schema_, errors_);
    GenerateSchemaDocument(ParseJson(R"({"network": {"dns": {"resolver": {}}}})"), nullptr, schema_,
                           errors_);
    EXPECT_EQ(R"([{"field":"","errId":5,"errArgs":["object","array"]},)"
              R"({"field":"/network/dns/resolver","errId":33,)"
              R"("errArgs":["network","dns","resolver"]}])",
              JsonText(errors_));
}

}  // namespace
}  // namespace TarnSchemaStore
