// Object ids, configuration and drift objects, instance ids and document handles.
#include <gtest/gtest.h>

#include <cstring>
#include <unordered_set>

#include "expect_store_error.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/drift_object.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_doc.h"
#include "tarn/json/json_text.h"

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
    // The reusing form replaces whatever its buffer held, also for an object without value.
    std::string reused = "a longer text left by an earlier object";
    object->GetSerializedData(reused);
    EXPECT_EQ(R"({"name":"root","uid":7})", reused);
    empty.GetSerializedData(reused);
    EXPECT_EQ("", reused);
    EXPECT_FALSE(empty.HasValue());
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
        ExpectStoreError(kStoreDataError, [&] { CreateObject(id, text, std::nullopt); },
                         {"Invalid JSON text for object " + id.toString()});
    }
    ExpectStoreError(kStoreDataError, [&] { CreateDriftObject(id, "SET", "{\"a\":"); },
                     {"Invalid JSON text for the drift of " + id.toString()});
    auto drift = CreateDriftObject(id, "SET", R"({ "uid" : "SET" })");
    EXPECT_EQ(R"({"uid":"SET"})", drift->GetDriftData());
    EXPECT_EQ("SET", drift->GetOperation());
    EXPECT_EQ(id, drift->GetConfigStoreObjectId());
}

// x: a lower-case hexadecimal digit, y: one of 8, 9, a, b; anything else literally.
bool HasShape(const std::string& id, const std::string& shape) {
    if (id.size() != shape.size()) {
        return false;
    }
    for (size_t i = 0; i < id.size(); ++i) {
        const char* allowed = shape[i] == 'x' ? "0123456789abcdef" : shape[i] == 'y' ? "89ab" : "";
        bool ok = *allowed ? std::strchr(allowed, id[i]) != nullptr : id[i] == shape[i];
        if (!ok || id[i] == '\0') {
            return false;
        }
    }
    return true;
}

TEST(GenerateInstanceIdTest, IdsAreRandomVersionFourUuids) {
    std::unordered_set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string id = GenerateInstanceId();
        EXPECT_TRUE(HasShape(id, "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx")) << id;
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

TEST(ScratchDocumentTest, SmallAndLargeValuesParseAndWriteBackTheSame) {
    std::string large = "[";
    for (int i = 0; i < 2000; ++i) {
        large += (i ? "," : "") + std::string(R"({"name":"p)") + std::to_string(i) + R"("})";
    }
    large += "]";
    for (const std::string& text : {std::string(R"({"a":[1,2.5,"x"]})"), large}) {
        ScratchDocument scratch;
        ASSERT_TRUE(ParseJsonText(text, scratch.Get()));
        EXPECT_EQ(text, WriteJsonText(scratch.Get()));
    }
    ScratchDocument failed;
    EXPECT_FALSE(ParseJsonText("{", failed.Get()));
    EXPECT_TRUE(failed.Get().IsNull());
}

}  // namespace
