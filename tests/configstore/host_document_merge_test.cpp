// The per-host merge of multi-host documents and the schema facts it reads.
#include "tarn/configstore/host_document_merge.h"

#include <gtest/gtest.h>

#include "expect_store_error.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/json_text.h"

namespace {

using namespace ConfigStoreDocument;

// The three-host example of docs/host-documents.md is tested with the library operations.
const char kHostA[] = "4c4c4544-0000-1000-8000-00000000000a";
const char kHostC[] = "4c4c4544-0000-1000-8000-00000000000c";

// A document schema as the schema store composes it (levels under "properties").
const char kSchema[] = R"({"properties": {
    "network": {"properties": {
        "dns": {"properties": {"resolver": {"type": "object"}}},
        "links": {"properties": {"interfaces": {"type": "array", "instanceId": "name",
                                                "items": {"type": "object"}}}}}},
    "security": {"properties": {"login": {"properties": {
        "banners": {"type": "array", "instanceId": "cs_generated_id",
                    "items": {"type": "object", "properties": {"text": {"type": "string"}}}}}}}}}})";

class HostDocumentMergeTest : public ::testing::Test {
protected:
    std::string MergedFor(const std::string& document, const std::string& hostId) {
        rapidjson::Document merged = CreateDocument(document);
        GetDocumentForHost(merged, hostId, provider_);
        return TarnConfigStore::WriteJsonText(merged);
    }

    rapidjson::Document schema_ = CreateDocument(kSchema);
    SchemaMergeMetadataProvider provider_{schema_};
};

TEST_F(HostDocumentMergeTest, ProviderReadsKeyFactsFromTheDocumentSchema) {
    EXPECT_TRUE(provider_.IsMultiInstance("network", "links", "interfaces"));
    EXPECT_EQ("name", provider_.GetInstanceKey("network", "links", "interfaces"));
    EXPECT_EQ("cs_generated_id", provider_.GetInstanceKey("security", "login", "banners"));
    EXPECT_FALSE(provider_.IsMultiInstance("network", "dns", "resolver"));
    EXPECT_EQ("", provider_.GetInstanceKey("network", "dns", "resolver"));
    EXPECT_TRUE(provider_.GetKeySchema("network", "dns", "resolver").IsObject());
    EXPECT_TRUE(provider_.GetKeySchema("network", "dns", "search").IsNull());

    rapidjson::Document notASchema = CreateDocument("[1]");
    SchemaMergeMetadataProvider empty(notASchema);
    EXPECT_TRUE(empty.GetKeySchema("network", "dns", "resolver").IsNull());
    EXPECT_FALSE(empty.IsMultiInstance("network", "links", "interfaces"));

    EXPECT_TRUE(HostIdMatches("4C4C4544-AbC", "4c4c4544-abc"));
    EXPECT_FALSE(HostIdMatches("4c4c4544-abc ", "4c4c4544-abc"));
    EXPECT_FALSE(HostIdMatches("4c4c4544-ab@", "4c4c4544-ab`"));
}

TEST_F(HostDocumentMergeTest, SpecificSectionsReplaceWholeValuesOverridesChangeMembers) {
    const char document[] = R"({"profile": {"network": {
        "dns": {"resolver": {"servers": ["10.0.0.1"], "options": {"edns": true, "ttl": 5}}},
        "ntp": {"servers": {"list": ["ntp.example"], "burst": true}},
        "links": {"interfaces": [{"name": "eth0", "mtu": 1500}]}},
        "security": {"login": {"banners": [{"text": "a"}]}}},
      "host-specific": {"4c4c4544-0000-1000-8000-00000000000c": {"network": {
        "ntp": {"servers": {"list": ["ntp.c.example"]}},
        "links": {"interfaces": [{"name": "eth0", "enabled": true}]}}}},
      "host-override": {"4c4c4544-0000-1000-8000-00000000000C": {"network": {
        "dns": {"resolver": {"options": {"ttl": 9}, "servers": ["10.0.0.4", "10.0.0.5"]}},
        "links": {"interfaces": [{"name": "eth0", "mtu": 9000}, {"mtu": 1}]}},
        "security": {"login": {"banners": [{"text": "a"}, {"text": "b"}]}}}},
      "comment": "kept"})";
    // Overrides descend into objects; arrays and instances without their key are values;
    // instances identified by content match equal content.
    EXPECT_EQ(R"({"profile":{"network":{"dns":{"resolver":{"servers":["10.0.0.4","10.0.0.5"],)"
              R"("options":{"edns":true,"ttl":9}}},"ntp":{"servers":{"list":["ntp.c.example"]}},)"
              R"("links":{"interfaces":[{"name":"eth0","enabled":true,"mtu":9000},{"mtu":1}]}},)"
              R"("security":{"login":{"banners":[{"text":"a"},{"text":"b"}]}}},"comment":"kept"})",
              MergedFor(document, kHostC));
}

TEST_F(HostDocumentMergeTest, DocumentsWithoutSectionsOfThisHostOrWithoutProfile) {
    // Without "profile" the document is one configuration and its sections are not read.
    const char noProfile[] = R"({"host-override": {"4c4c4544-0000-1000-8000-00000000000a": 1}})";
    EXPECT_EQ(R"({"host-override":{"4c4c4544-0000-1000-8000-00000000000a":1}})",
              MergedFor(noProfile, kHostA));
    // Sections that are not objects are ignored, and dropped from the view.
    EXPECT_EQ(R"({"profile":{"c":{"g":{"k":1}}}})",
              MergedFor(R"({"host-specific": [1], "profile": {"c": {"g": {"k": 1}}},
                            "host-override": "x"})",
                        kHostA));
}

TEST_F(HostDocumentMergeTest, MisshapenLevelsAreRefusedAndLeaveTheDocumentAsItWas) {
    struct Case {
        const char* document;
        const char* message;
    } cases[] = {
        {"[]", "The document is not an object"},
        {R"({"profile": 1})", "/profile is not an object"},
        {R"({"profile": {}, "host-specific": {"4c4c4544-0000-1000-8000-00000000000a": []}})",
         "/host-specific/4c4c4544-0000-1000-8000-00000000000a is not an object"},
        {R"({"profile": {}, "host-override": {"4c4c4544-0000-1000-8000-00000000000a":
              {"c": {"g": 1}}}})",
         "/host-override/4c4c4544-0000-1000-8000-00000000000a/c/g is not an object"},
        {R"({"profile": {"c": {"g": 7}}, "host-specific": {
              "4c4c4544-0000-1000-8000-00000000000a": {"c": {"g": {"k": 1}}}}})",
         "/profile/c/g is not an object"},
    };
    for (const Case& c : cases) {
        rapidjson::Document document = CreateDocument(c.document);
        const std::string before = TarnConfigStore::WriteJsonText(document);
        ExpectStoreError(2000, [&] { GetDocumentForHost(document, kHostA, provider_); },
                         {c.message});
        EXPECT_EQ(before, TarnConfigStore::WriteJsonText(document));
    }
}

}  // namespace

namespace {

TEST_F(HostDocumentMergeTest, SplitDocumentLeavesThisHostsViewThatTheMergeGivesBack) {
    const std::string document = std::string(R"({"profile": {"network": {"dns": {"resolver":
        {"servers": ["10.0.0.1"]}}}}, "host-override": {")") +
                                 kHostA + R"(": {"network": {"dns": {"resolver": {"servers":
        ["10.0.0.2"]}}}}, ")" + kHostC +
                                 R"(": {"network": {"dns": {"resolver": {"servers":
        ["10.0.0.3"]}}}}}, "metadata": {"x": 1}})";
    rapidjson::Document split = CreateDocument(document);
    SplitDocument(schema_, kHostA, split);
    std::string text = TarnConfigStore::WriteJsonText(split);
    EXPECT_EQ(text, R"({"profile":{"network":{"dns":{"resolver":{"servers":["10.0.0.2"]}}}},)"
                    R"("metadata":{"x":1}})");
    EXPECT_EQ(MergedFor(text, kHostA), text);

    rapidjson::Document bare = CreateDocument(R"({"metadata": {}})");
    SplitDocument(schema_, kHostA, bare);
    EXPECT_EQ(TarnConfigStore::WriteJsonText(bare), R"({"metadata":{},"profile":{}})");
}

}  // namespace
