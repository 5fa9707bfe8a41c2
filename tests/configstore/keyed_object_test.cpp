// Objects created for a key whose schema is known: the schema text travels with the object,
// and a value naming another instance than its id is refused.
#include <gtest/gtest.h>

#include "expect_store_error.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/json/json_doc.h"
#include "tarn/json/json_text.h"

namespace {

using namespace TarnConfigStore;

rapidjson::Document Json(const char* text) {
    rapidjson::Document document;
    EXPECT_TRUE(ParseJsonText(text, document)) << text;
    return document;
}

TEST(KeyedObjectTest, CarriesTheSchemaTextAndChecksTheInstanceName) {
    const ObjectSchemaFacts links{"net.links.interfaces@2", "name"};
    auto object = CreateObject({"interfaces", "links", "net", "eth0"},
                               Json(R"({"name": "eth0", "mtu": 9000})"), links, 1ul);
    std::string text;
    ASSERT_TRUE(object->GetValue(kSchemaAttribute, &text));
    EXPECT_EQ("net.links.interfaces@2", text);
    EXPECT_EQ(R"({"name":"eth0","mtu":9000})", object->GetSerializedData());
    EXPECT_EQ(1ul, object->GetIndex().value());

    // Values that do not name an instance are taken as they are: a single-instance key, a
    // value without the member, a member that is not a string, a value that is no object.
    const ObjectSchemaFacts single{"net.dns.resolver@1", ""};
    EXPECT_NO_THROW(
        CreateObject({"resolver", "dns", "net"}, Json(R"({"name": "x"})"), single, std::nullopt));
    for (const char* value : {R"({"mtu": 1})", R"({"name": 7})", R"("DELETE_DEFAULT")"}) {
        EXPECT_NO_THROW(
            CreateObject({"interfaces", "links", "net", "eth1"}, Json(value), links, std::nullopt))
            << value;
    }

    ExpectStoreError(kStoreDataError,
                     [&] {
                         CreateObject({"interfaces", "links", "net", "eth1"},
                                      Json(R"({"name": "eth0"})"), links, std::nullopt);
                     },
                     {"comp net grp links key interfaces id eth1", "instance eth0", "member name"});
    ExpectStoreError(kStoreDataError,
                     [&] {
                         CreateObject({"banners", "login", "sec", "a1"},
                                      Json(R"({"cs_generated_id": "b2", "text": "hi"})"),
                                      ObjectSchemaFacts{"sec.login.banners@1", "cs_generated_id"},
                                      std::nullopt);
                     },
                     {"instance b2"});
}

// An object viewing its value writes the value where it lies until it is asked for its own
// document; from then on it holds a copy that edits change and the source no longer does.
TEST(KeyedObjectTest, ViewWritesTheSourceUntilItsDocumentIsTaken) {
    const ObjectSchemaFacts links{"net.links.interfaces@2", "name"};
    rapidjson::Document source = Json(R"({"name": "eth0", "mtu": 9000})");
    auto object = CreateObjectView({"interfaces", "links", "net", "eth0"}, source, links, 2ul);
    std::string text;
    ASSERT_TRUE(object->GetValue(kSchemaAttribute, &text));
    EXPECT_EQ("net.links.interfaces@2", text);
    EXPECT_EQ(2ul, object->GetIndex().value());
    EXPECT_TRUE(object->HasValue());
    source["mtu"].SetInt(1500);
    EXPECT_EQ(R"({"name":"eth0","mtu":1500})", object->GetSerializedData());

    object->GetJsonDoc()->GetDocument()["mtu"].SetInt(9216);
    source["mtu"].SetInt(1);
    EXPECT_EQ(R"({"name":"eth0","mtu":9216})", object->GetSerializedData());

    ExpectStoreError(
        kStoreDataError,
        [&] {
            CreateObjectView({"interfaces", "links", "net", "eth1"}, source, links, std::nullopt);
        },
        {"instance eth0"});
}

}  // namespace
