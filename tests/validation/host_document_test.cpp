// The host document schema and the per-host merge, against installed key schemas and the
// host root's BIOS UUID (4C4C4544-0042-3510-8052-B4C04F503232 on a fresh root).
#include <gtest/gtest.h>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "deradidezivizoda/validation/merged_document.h"
#include "host_root_fixture.h"
#include "json_test_text.h"
#include "schema_files.h"
#include "tarn/paths.h"

namespace TarnConfigManager {
namespace {

using TarnTest::JsonText;
using TarnTest::ParseJson;

const char kThreeHosts[] = TARN_SOURCE_DIR "/tests/validation/data/three_hosts.json";
const char kThisHost[] = "4C4C4544-0042-3510-8052-B4C04F503232";

class HostDocumentTest : public TarnTest::HostRootTest {
protected:
    void SetUp() override {
        TarnTest::HostRootTest::SetUp();
        TarnTest::InstallKeySchema("network", "dns", "resolver", R"({"type": "object",
            "properties": {"servers": {"type": "array", "items": {"type": "string"}},
                           "timeout": {"type": "integer"}}})",
                                   "");
        TarnTest::InstallKeySchema("network", "links", "interfaces", R"({"type": "object",
            "properties": {"name": {"type": "string"}, "mtu": {"type": "integer"},
                           "enabled": {"type": "boolean"}}})",
                                   "name");
        TarnTest::InstallKeySchema("network", "ntp", "servers", R"({"type": "object",
            "properties": {"list": {"type": "array", "items": {"type": "string"}}}})",
                                   "");
        TarnTest::InstallKeySchema("security", "login", "banners", R"({"type": "object",
            "properties": {"cs_generated_id": {"type": "string"}, "text": {"type": "string"}}})",
                                   "cs_generated_id");
    }

    // The keys of the generated schema, "component/group/key" in schema order.
    static std::vector<std::string> SchemaKeys(const HostDocumentSchema& generated) {
        const rapidjson::Document* schema = boost::get<rapidjson::Document>(&generated);
        EXPECT_TRUE(schema) << "the generation reported errors";
        std::vector<std::string> keys;
        if (!schema) {
            return keys;
        }
        for (const auto& component : (*schema)["properties"].GetObject()) {
            for (const auto& group : component.value["properties"].GetObject()) {
                for (const auto& key : group.value["properties"].GetObject()) {
                    keys.push_back(std::string(component.name.GetString()) + "/" +
                                   group.name.GetString() + "/" + key.name.GetString());
                }
            }
        }
        return keys;
    }

    static std::vector<ValidationErrorInfo> Errors(const HostDocumentSchema& generated) {
        const auto* errors = boost::get<std::vector<ValidationErrorInfo>>(&generated);
        EXPECT_TRUE(errors) << "the generation gave a schema";
        return errors ? *errors : std::vector<ValidationErrorInfo>();
    }

    static void SetHostUuid(const std::string& uuid) {
        TarnTest::WriteFile(TarnPaths::kProductUuidFile, uuid + "\n");
    }

    static std::string MergedFor(const std::string& uuid) {
        SetHostUuid(uuid);
        rapidjson::Document document;
        CreateDocumentFromFile(kThreeHosts, document);
        HostDocumentSchema generated = GenerateHostDocumentSchema(document);
        CreateMergedDocument(boost::get<rapidjson::Document>(generated), document);
        return JsonText(document);
    }
};

TEST_F(HostDocumentTest, SchemaCoversTheProfileAndThisHostsSectionsInAnyLetterCase) {
    std::string lowerCase = kThisHost;
    for (char& c : lowerCase) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    // Keys only another host's sections name, even unknown ones, are not looked at.
    rapidjson::Document document = ParseJson(R"({
        "profile": {"network": {"dns": {"resolver": {}}}},
        "host-specific": {")" + std::string(kThisHost) +
                                             R"(": {"network": {"ntp": {"servers": {}}}},
                          "other-host": {"network": {"x": {"unknown": {}}}}},
        "host-override": {")" + lowerCase +
                                             R"(": {"security": {"login": {"banners": []}}},
                          "other-host": {"y": {"z": {"unknown": {}}}}}})");
    EXPECT_EQ((std::vector<std::string>{"network/dns/resolver", "network/ntp/servers",
                                        "security/login/banners"}),
              SchemaKeys(GenerateHostDocumentSchema(document)));

    // Sections that are not objects are ignored.
    EXPECT_EQ(std::vector<std::string>{"network/dns/resolver"},
              SchemaKeys(GenerateHostDocumentSchema(ParseJson(
                  R"({"profile": {"network": {"dns": {"resolver": {}}}},
                      "host-specific": [{"network": {"x": {"unknown": {}}}}], "host-override": 1})"))));
}

TEST_F(HostDocumentTest, WithoutProfileTheWholeDocumentIsOneConfiguration) {
    std::vector<ValidationErrorInfo> errors = Errors(GenerateHostDocumentSchema(ParseJson(
        R"({"network": {"dns": {"resolver": {}}},
            "host-override": {")" +
        std::string(kThisHost) + R"(": {"ntp": {"servers": {}}}}})")));
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ("/host-override/" + std::string(kThisHost) + "/ntp", errors[0].path);
    ASSERT_EQ(1u, errors[0].messages.size());
    EXPECT_EQ(ErrorInfo("com.corvid.tarn.settings.validator.schema-not-found",
                        {"host-override", kThisHost, "ntp"}),
              errors[0].messages[0]);

    try {
        GenerateHostDocumentSchema(ParseJson("[]"));
        ADD_FAILURE() << "an array is no host document";
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        EXPECT_EQ(1082, e.GetCode());
    }
}

TEST_F(HostDocumentTest, ErrorsAtOnePathOfProfileAndSectionShareOneEntry) {
    std::vector<ValidationErrorInfo> errors = Errors(GenerateHostDocumentSchema(ParseJson(
        R"({
        "profile": {"network": {"dns": {"search": {}}}, "storage": []},
        "host-specific": {")" +
        std::string(kThisHost) + R"(": {"network": {"dns": {"search": {}}}}}})")));
    ASSERT_EQ(2u, errors.size());
    if (errors[0].path != "/network/dns/search") {
        std::swap(errors[0], errors[1]);
    }
    const ErrorInfo unknown("com.corvid.tarn.settings.validator.schema-not-found",
                            {"network", "dns", "search"});
    EXPECT_EQ("/network/dns/search", errors[0].path);
    EXPECT_EQ((std::vector<ErrorInfo>{unknown, unknown}), errors[0].messages);
    EXPECT_EQ("/storage", errors[1].path);
    EXPECT_EQ((std::vector<ErrorInfo>{ErrorInfo("com.corvid.tarn.settings.validator.type-mismatch",
                                                {"object", "array"})}),
              errors[1].messages);
}

TEST_F(HostDocumentTest, ThreeHostDocumentMergesAsDocumented) {
    const std::string output = TarnTest::RootPath("var/tmp/merged.json");
    TarnTest::WriteFile(output, "an older merge, replaced");
    CreateMergedBootDocument(kThreeHosts, output);
    EXPECT_EQ(R"({"profile":{"network":{)"
              R"("dns":{"resolver":{"servers":["10.0.0.1"],"timeout":2}},)"
              R"("links":{"interfaces":[{"name":"eth0","mtu":1500,"enabled":true},)"
              R"({"name":"eth1","mtu":1500,"enabled":true},)"
              R"({"name":"eth2","mtu":9000,"enabled":true}]},)"
              R"("ntp":{"servers":{"list":["ntp-a.example.net"]}}},)"
              R"("security":{"login":{"banners":[{"text":"Authorised use only"},)"
              R"({"text":"Lab host: changes are not kept"}]}}}})",
              TarnTest::ReadFile(output));

    const std::string profile =
        R"("dns":{"resolver":{"servers":["10.0.0.1"],"timeout":5}},)"
        R"("links":{"interfaces":[{"name":"eth0","mtu":1500,"enabled":true},)"
        R"({"name":"eth1","mtu":1500,"enabled":false}]})";
    const std::string banners =
        R"("security":{"login":{"banners":[{"text":"Authorised use only"}]}})";
    EXPECT_EQ(R"({"profile":{"network":{)" + profile +
                  R"(,"ntp":{"servers":{"list":["ntp-b.example.net"]}}},)" + banners + "}}",
              MergedFor("4C4C4544-0042-3510-8052-B4C04F503233"));
    EXPECT_EQ(R"({"profile":{"network":{"dns":{"resolver":{"servers":["10.9.9.9"],"timeout":5}},)"
              R"("links":{"interfaces":[{"name":"eth0","mtu":1500,"enabled":true},)"
              R"({"name":"eth1","mtu":1500,"enabled":false}]}},)" +
                  banners + "}}",
              MergedFor("4c4c4544-0042-3510-8052-b4c04f503234"));
    EXPECT_EQ(R"({"profile":{"network":{)" + profile + "}," + banners + "}}",
              MergedFor("4c4c4544-0042-3510-8052-b4c04f503299"));
}

TEST_F(HostDocumentTest, BootMergeRefusesUnknownKeysAndBadFilesWithoutWriting) {
    const std::string input = TarnTest::RootPath("var/tmp/boot.json");
    const std::string output = TarnTest::RootPath("var/tmp/merged.json");
    TarnTest::WriteFile(output, "previous");

    TarnTest::WriteFile(input, R"({"profile": {"network": {"dns": {"resolver": {}}}},
        "host-specific": {")" + std::string(kThisHost) +
                                   R"(": {"network": {"dns": {"search": {}}}}}})");
    try {
        CreateMergedBootDocument(input, output);
        ADD_FAILURE() << "a key without schema was merged";
    } catch (const SchemaNotFound& e) {
        EXPECT_EQ(2021, e.GetCode());
        EXPECT_EQ(std::vector<std::string>{"Schema not found for some key(s)."}, e.GetArgs());
    }
    EXPECT_EQ("previous", TarnTest::ReadFile(output));

    TarnTest::WriteFile(input, R"({"profile": )");
    try {
        CreateMergedBootDocument(input, output);
        ADD_FAILURE() << "a malformed file was merged";
    } catch (const ConfigManagerException& e) {
        EXPECT_EQ(2080, e.GetCode());
        EXPECT_EQ(std::vector<std::string>{input}, e.GetArgs());
    }
    EXPECT_EQ("previous", TarnTest::ReadFile(output));
}

}  // namespace
}  // namespace TarnConfigManager
