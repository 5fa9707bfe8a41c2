// ConfigStoreDocument: comparison, normalised and redacted text, and document building.
#include <gtest/gtest.h>

#include "expect_store_error.h"
#include "host_root_fixture.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"

namespace {

using namespace ConfigStoreDocument;
using TarnConfigStore::ConfigStoreException;

rapidjson::Document Doc(const char* text) {
    return CreateDocument(text);
}

bool Equal(const char* a, const char* b, const char* schema = "null") {
    return IsEqualValue(Doc(a), Doc(b), Doc(schema));
}

const char kUsersSchema[] = R"({"type": "array", "instanceId": "name",
    "items": {"type": "object", "properties": {
        "name": {"type": "string"},
        "shell": {"type": "string", "default": "/bin/sh"},
        "groups": {"type": "array", "items": {"type": "string"}},
        "keys": {"type": "array", "items": {"type": "object"}}}}})";

TEST(DocumentCompareTest, ScalarsAndObjectsCompareAsConfiguration) {
    EXPECT_TRUE(Equal(R"({"a": 1, "b": [true, null]})", R"({"b": [true, null], "a": 1.0})"));
    EXPECT_TRUE(Equal("18446744073709551615", "18446744073709551615"));
    EXPECT_FALSE(Equal("-1", "18446744073709551615"));
    EXPECT_FALSE(Equal(R"({"a": "1"})", R"({"a": 1})"));
    EXPECT_FALSE(Equal(R"({"a": 1})", R"({"a": 1, "b": 2})"));
    EXPECT_FALSE(Equal("true", "false"));
    EXPECT_FALSE(Equal(R"("a\u0000b")", R"("a\u0000c")"));
    // Generated ids are identity, not configuration.
    EXPECT_TRUE(Equal(R"({"cs_generated_id": "x", "a": 1})", R"({"a": 1})"));
    EXPECT_TRUE(Equal(R"({"cs_generated_id": "x"})", R"({"cs_generated_id": "y"})"));
}

TEST(DocumentCompareTest, TheSchemaDecidesDefaultsAndArrayOrder) {
    // A key's array definition applies to its instances; a missing member equals its default.
    EXPECT_TRUE(
        Equal(R"({"name": "root"})", R"({"name": "root", "shell": "/bin/sh"})", kUsersSchema));
    EXPECT_FALSE(
        Equal(R"({"name": "root"})", R"({"name": "root", "shell": "/bin/bash"})", kUsersSchema));
    EXPECT_FALSE(Equal(R"({"shell": "/bin/sh"})", "{}"));
    // Identified instances and plain values in any order; untyped arrays in order.
    EXPECT_TRUE(Equal(R"([{"name": "a"}, {"name": "b", "groups": ["x", "y"]}])",
                      R"([{"name": "b", "groups": ["y", "x"]}, {"name": "a"}])", kUsersSchema));
    EXPECT_FALSE(Equal(R"([{"name": "a"}, {"name": "b"}])", R"([{"name": "a"}])", kUsersSchema));
    EXPECT_FALSE(Equal(R"({"name": "a", "keys": [{"k": 1}, {"k": 2}]})",
                       R"({"name": "a", "keys": [{"k": 2}, {"k": 1}]})", kUsersSchema));
    EXPECT_FALSE(Equal("[1, 2]", "[2, 1]"));
    EXPECT_TRUE(Equal("[1, 2]", "[1.0, 2]"));
}

TEST(DocumentCompareTest, PrimitiveArraysAreMultisets) {
    EXPECT_TRUE(IsEqualPrimitiveArray(Doc("[1, 2, 2]"), Doc("[2, 1.0, 2]")));
    EXPECT_FALSE(IsEqualPrimitiveArray(Doc("[1, 2, 2]"), Doc("[1, 1, 2]")));
    EXPECT_FALSE(IsEqualPrimitiveArray(Doc("[1]"), Doc("[1, 1]")));
    EXPECT_TRUE(IsEqualPrimitiveArray(Doc("[]"), Doc("[]")));
    EXPECT_FALSE(IsEqualPrimitiveArray(Doc("null"), Doc("[]")));
}

TEST(DocumentTextTest, NormalizedTextIsTheSameForTheSameConfiguration) {
    EXPECT_EQ("{\"a\":[2.5,0,100,-3],\"b\":1,\"c\":{\"y\":null,\"z\":\"\xC3\xA9\"}}",
              NormalizeValue(Doc(R"({"c": {"z": "\u00e9", "y": null}, "b": 1.0,
                                     "a": [2.50, -0.0, 1e2, -3]})")));
    EXPECT_EQ(NormalizeValue(Doc(R"({"b": 1, "a": {"d": 2, "c": 1}})")),
              NormalizeValue(Doc(R"({"a": {"c": 1.0, "d": 2}, "b": 1.0})")));
    EXPECT_EQ("[0.1,1e300,18446744073709551615]",
              NormalizeValue(Doc("[0.1, 1e300, 18446744073709551615]")));
}

TEST(DocumentTextTest, NormalizingInPlaceGivesTheSameTextAndLeavesTheValueNormal) {
    // Byte order, members of one name kept in their order, at every depth.
    std::string wide = "{";
    for (char c = 'z'; c >= 'a'; --c) {
        wide += std::string(c == 'z' ? "" : ",") + "\"" + c + "\": " + std::to_string('z' - c);
    }
    wide += "}";
    for (const std::string& text :
         {std::string(R"({"b": 1, "a": 2, "b": 0, "B": [{"y": 1.0, "x": 2}], "ab": 3})"), wide}) {
        rapidjson::Document value = Doc(text.c_str());
        const std::string normal = NormalizeValue(value);
        EXPECT_EQ(NormalizeInPlace(value), normal);
        EXPECT_EQ(TarnConfigStore::WriteJsonText(value), normal);
    }
    rapidjson::Document duplicates = Doc(R"({"b": 1, "a": 2, "b": 0, "B": [{"y": 1.0, "x": 2}]})");
    EXPECT_EQ(NormalizeInPlace(duplicates), R"({"B":[{"x":2,"y":1}],"a":2,"b":1,"b":0})");
    // Small and large objects are sorted differently; both keep duplicates in their order.
    for (int count : {5, 40}) {
        std::string reversed = "{";
        std::string sorted = "{";
        for (int i = count - 1; i >= 0; --i) {
            reversed += "\"m" + std::to_string(100 + i) + "\":" + std::to_string(i) + ",";
            sorted.insert(1, "\"m" + std::to_string(100 + i) + "\":" + std::to_string(i) +
                                 (i == 3 ? ",\"m103\":-1," : ","));
        }
        reversed += "\"m103\":-1}";
        sorted.back() = '}';
        rapidjson::Document value = Doc(reversed.c_str());
        EXPECT_EQ(NormalizeInPlace(value), sorted) << count;
    }
}

// A large array is put in normal form and written in two halves on two threads; the text is
// that of its elements written one after the other, and a value that cannot be written fails
// the same way in either half.
TEST(DocumentTextTest, ALargeArrayGivesTheTextOfItsElementsInOrder) {
    constexpr int kElements = 5000;
    auto element = [](int i) {
        return R"({"v": )" + std::to_string(i) + R"(.0, "s": "\u00e9\n", "n": )" +
               std::to_string(i) + R"(, "a": [{"b": 1, "a": 2.0}]})";
    };
    std::string text = R"({"z": {"list": [)";
    std::string expected = R"({"a":[2,{"x":2,"y":1}],"z":{"b":1,"list":[)";
    for (int i = 0; i < kElements; ++i) {
        text += (i == 0 ? "" : ",") + element(i);
        expected += (i == 0 ? "" : ",") + NormalizeValue(Doc(element(i).c_str()));
    }
    text += R"(], "b": 1.0, "other": [[1.0], [2]]}, "a": [2.0, {"y": 1, "x": 2}]})";
    expected += R"(],"other":[[1],[2]]}})";
    rapidjson::Document value = Doc(text.c_str());
    EXPECT_EQ(expected, NormalizeInPlace(value));
    EXPECT_EQ(expected, TarnConfigStore::WriteJsonText(value));
    for (int broken : {1, kElements - 1}) {
        rapidjson::Document withBroken = Doc(text.c_str());
        withBroken["z"]["list"][broken]["s"].SetString(rapidjson::StringRef("\xC0\x80"));
        try {
            NormalizeInPlace(withBroken);
            ADD_FAILURE() << "written with a string that is not UTF-8 at " << broken;
        } catch (const ConfigStoreException& e) {
            EXPECT_EQ(1082, e.GetCode());
        }
    }
}

TEST(DocumentTextTest, SensitiveValuesAreMaskedAtAnyDepth) {
    const char* schema = R"({"type": "array", "items": {"type": "object", "properties": {
        "name": {"type": "string"},
        "password": {"type": "string", "sensitive": true},
        "tokens": {"type": "array", "items": {"type": "string", "sensitive": true}},
        "env": {"type": "object", "additionalProperties": {"sensitive": true}},
        "keys": {"type": "array", "items": {"type": "object", "properties": {
            "private": {"sensitive": true}}}}}}})";
    rapidjson::Document value = Doc(R"({"name": "root", "password": {"hash": "x"},
        "tokens": ["t1", "t2"], "env": {"A": "1"}, "keys": [{"private": "k", "id": 1}]})");
    EXPECT_EQ(R"({"name":"root","password":"******","tokens":["******","******"],)"
              R"("env":{"A":"******"},"keys":[{"private":"******","id":1}]})",
              RedactAndSerializeValue(Doc(schema), value));
    EXPECT_EQ(R"("******")", RedactAndSerializeValue(Doc(R"({"sensitive": true})"), Doc("[1]")));
    EXPECT_EQ(R"({"password":"p"})",
              RedactAndSerializeValue(Doc("null"), Doc(R"({"password":"p"})")));
    EXPECT_EQ(R"({"hash":"x"})", TarnConfigStore::WriteJsonText(value["password"]));
}

TEST(DocumentTextTest, SmallHelpersDoWhatTheySay) {
    EXPECT_EQ("4c4c4544-0042-3510-8052-b4c04f503232",
              NormalizeHostId(" \t4C4C4544-0042-3510-8052-B4C04F503232\n"));
    EXPECT_EQ("", NormalizeHostId(" \n "));
    EXPECT_TRUE(IsDocumentEmpty(Doc("null")) && IsDocumentEmpty(Doc("{}")) &&
                IsDocumentEmpty(Doc("[]")));
    EXPECT_FALSE(IsDocumentEmpty(Doc("0")) || IsDocumentEmpty(Doc(R"({"a":null})")));
    EXPECT_TRUE(ValueExists(Doc(R"({"a":null})"), "a"));
    EXPECT_FALSE(ValueExists(Doc(R"({"a":null})"), "b") || ValueExists(Doc("[]"), "a"));
    std::string text;
    SerializeValue(Doc(R"( { "a" : [ 1 , 2 ] } )"), text);
    EXPECT_EQ(R"({"a":[1,2]})", text);
    ExpectStoreError(TarnConfigStore::kStoreDataError,
                     [] { CreateDocument(R"({"a": 1} {"b": 2})"); }, {"offset 9"});
}

TEST(DocumentBuildTest, ObjectsLandUnderComponentGroupAndKey) {
    rapidjson::Document document;
    auto& allocator = document.GetAllocator();
    rapidjson::Value& target = AddProfile(document);
    {
        // Values are copied: the source document may go away.
        rapidjson::Document row = Doc(R"({"name": "root"})");
        AddObject(target, "tarn", "auth", "users", "root", row, allocator);
    }
    AddObject(target, "tarn", "auth", "users", "dcui", Doc(R"({"name": "dcui"})"), allocator);
    AddObject(target, "tarn", "net", "ntp", "", Doc(R"({"on": false})"), allocator);
    AddObject(target, "tarn", "net", "ntp", "", Doc(R"({"on": true})"), allocator);
    AddMember(AddGroup(target, "tarn", "net", allocator), "x", Doc("1"), allocator);
    AddMember(AddComponent(target, "tarn", allocator)["net"], "x", Doc("2"), allocator);
    EXPECT_EQ(R"({"profile":{"tarn":{"auth":{"users":[{"name":"root"},{"name":"dcui"}]},)"
              R"("net":{"ntp":{"on":true},"x":1,"x":2}}}})",
              TarnConfigStore::WriteJsonText(document));

    using TarnConfigStore::kStoreDataError;
    ExpectStoreError(kStoreDataError,
                     [&] { AddObject(target, "tarn", "net", "ntp", "id", Doc("{}"), allocator); },
                     {"/tarn/net/ntp holds a single object, not instances"});
    ExpectStoreError(kStoreDataError, [&] { AddGroup(target["tarn"], "net", "x", allocator); },
                     {"/net/x is not an object"});
    rapidjson::Document scalar = Doc("[]");
    ExpectStoreError(kStoreDataError, [&] { AddComponent(scalar, "c", scalar.GetAllocator()); },
                     {"The document is not an object"});
    ExpectStoreError(TarnConfigStore::kStoreJsonError,
                     [&] { AddMember(scalar, "a", Doc("1"), scalar.GetAllocator()); }, {});
}

TEST(DocumentCleanupTest, UndeclaredMembersFollowTheObjectSchemaKeywords) {
    auto cleaned = [](const char* schemaText) {
        rapidjson::Document value = Doc(R"({"a": 1, "b": 2, "c": null})");
        rapidjson::Document schema = Doc(schemaText);
        CleanupObject(value, schema, {DROP_READ_ONLY_VALUES, DROP_UNDECLARED_MEMBERS},
                      value.GetAllocator());
        return TarnConfigStore::WriteJsonText(value);
    };
    // Closed: only declared members stay.
    EXPECT_EQ(R"({"a":1})", cleaned(R"({"properties": {"a": {}}, "additionalProperties": false})"));
    // Pattern properties open the object again.
    EXPECT_EQ(R"({"a":1,"b":2,"c":null})",
              cleaned(R"({"properties": {"a": {}}, "additionalProperties": false,
                          "patternProperties": {"^b": {}}})"));
    // An additionalProperties schema is the schema of every undeclared member.
    EXPECT_EQ(R"({"a":1})",
              cleaned(R"({"properties": {"a": {}}, "additionalProperties": {"readOnly": true}})"));
    // The first of two members of one name counts.
    EXPECT_EQ(R"({"b":2})", cleaned(R"({"properties": {"b": {}}, "properties": {"a": {}},
                          "additionalProperties": false, "additionalProperties": true})"));
}

}  // namespace
