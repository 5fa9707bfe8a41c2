// Object ids, configuration and drift objects, instance ids and document handles.
#include <gtest/gtest.h>

#include <regex>
#include <unordered_set>

#include "tarn/configstore/config_store_exception.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/drift_object.h"
#include "tarn/configstore/json_doc.h"
#include "tarn/configstore/json_text.h"

namespace {

using namespace TarnConfigStore;

TEST(ConfigStoreObjectIdTest, TextEqualityAndHashCoverAllFourParts) {
    ConfigStoreObjectId key("fleetboot", "bootstrap", "tarn");
    EXPECT_EQ("comp tarn grp bootstrap key fleetboot", key.toString());
    ConfigStoreObjectId instance(std::string("users"), "auth", "tarn", "root");
    EXPECT_EQ("comp tarn grp auth key users id root", instance.toString());
    EXPECT_EQ(ConfigStoreObjectId("k", "g", "c", nullptr), ConfigStoreObjectId("k", "g", "c"));

    std::unordered_set<ConfigStoreObjectId, ConfigStoreObjectIdHash> ids{
        {"k", "g", "c"}, {"k", "g", "c", "i"}, {"kg", "", "c"}, {"k", "gc", ""}, {"c", "g", "k"}};
    EXPECT_EQ(5u, ids.size());
    EXPECT_TRUE(ids.count({"k", "g", "c", "i"}));
    instance.SetInstanceId("dcui");
    EXPECT_NE(ConfigStoreObjectId("users", "auth", "tarn", "root"), instance);
    EXPECT_EQ(hashCsoId(instance), hashCsoId({"users", "auth", "tarn", "dcui"}));
}

TEST(ConfigStoreObjectTest, ValueAttributesAndIndex) {
    ConfigStoreObjectId id("users", "auth", "tarn", "root");
    auto object = CreateObject(id, R"( {"name" : "root", "uid": 0} )", 3ul);
    EXPECT_EQ(R"({"name":"root","uid":0})", object->GetSerializedData());
    EXPECT_EQ(3ul, object->GetIndex().value());
    EXPECT_EQ(id, object->GetConfigStoreObjectId());
    // The value is the document: edits through the handle show in the text.
    auto doc = object->GetJsonDoc();
    doc->GetDocument()["uid"].SetInt(7);
    EXPECT_EQ(R"({"name":"root","uid":7})", object->GetSerializedData());

    rapidjson::Document source;
    source.Parse("[1]");
    auto copy = CreateObject(id, source, std::nullopt);
    source.SetNull();
    EXPECT_EQ("[1]", copy->GetSerializedData());
    EXPECT_FALSE(copy->GetIndex());

    ConfigStoreObject empty(id);
    EXPECT_EQ("", empty.GetSerializedData());
    empty.SetValue("a", "1");
    empty.SetValue("a", "2");
    std::string text;
    EXPECT_TRUE(empty.GetValue("a", &text));
    EXPECT_EQ("2", text);
    EXPECT_EQ(1u, empty.GetAttributes().size());
}

TEST(ConfigStoreObjectTest, BadJsonIsRefusedNamingTheObject) {
    ConfigStoreObjectId id("users", "auth", "tarn", "root");
    for (const char* text : {"", "{", "[1] x"}) {
        try {
            CreateObject(id, text, std::nullopt);
            ADD_FAILURE() << "accepted " << text;
        } catch (const ConfigStoreException& error) {
            EXPECT_EQ(kStoreDataError, error.GetCode());
            EXPECT_NE(std::string::npos, std::string(error.what()).find(id.toString()));
        }
    }
    EXPECT_THROW(CreateDriftObject(id, "SET", "{\"a\":"), ConfigStoreException);
    auto drift = CreateDriftObject(id, "SET", R"({ "uid" : "SET" })");
    EXPECT_EQ(R"({"uid":"SET"})", drift->GetDriftData());
    EXPECT_EQ("SET", drift->GetOperation());
    EXPECT_EQ(id, drift->GetConfigStoreObjectId());
}

TEST(GenerateInstanceIdTest, IdsAreRandomVersionFourUuids) {
    std::unordered_set<std::string> seen;
    const std::regex shape("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    for (int i = 0; i < 100; ++i) {
        std::string id = GenerateInstanceId();
        EXPECT_TRUE(std::regex_match(id, shape)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(100u, seen.size());
}

TEST(JsonDocTest, TheDocumentAllocatesFromTheSharedPool) {
    JsonDoc small(64);
    auto pool = small.GetPool();
    EXPECT_EQ(&small.GetAllocator(), &small.GetDocument().GetAllocator());
    size_t before = pool->Capacity();
    ASSERT_TRUE(
        ParseJsonText(R"({"a": "a string longer than the sixty-four byte chunk of the pool"})",
                      small.GetDocument()));
    EXPECT_GT(pool->Capacity(), before);

    JsonDoc shared(pool);
    EXPECT_EQ(&small.GetAllocator(), &shared.GetDocument().GetAllocator());
    JsonDoc own(nullptr);
    EXPECT_TRUE(own.GetPool());
    EXPECT_TRUE(own.GetDocument().IsNull());

    small.AppendPath({"tarn", "", ""});
    small.AppendPath({"users", "name", "root"});
    ASSERT_EQ(2u, small.GetPath().size());
    EXPECT_EQ("root", small.GetPath()[1].keyValue);
    small.SetPath({});
    EXPECT_TRUE(small.GetPath().empty());
}

}  // namespace
