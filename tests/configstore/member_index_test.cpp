// Member lookup through MemberIndex and JsonEqual against rapidjson's own FindMember and ==,
// on narrow and wide objects, with duplicate names and names that differ only late.
#include "tarn/configstore/member_index.h"

#include <gtest/gtest.h>

#include <string>

#include "tarn/json/json_text.h"

namespace {

using TarnConfigStore::JsonEqual;
using TarnConfigStore::MemberIndex;

rapidjson::Document Parse(const std::string& text) {
    rapidjson::Document document;
    EXPECT_TRUE(TarnConfigStore::ParseJsonText(text, document)) << text;
    return document;
}

// {"m0": 0, "m1": 1, ...} of width members, then extra (",..." or "").
std::string Wide(int width, const std::string& extra = "") {
    std::string text = "{";
    for (int i = 0; i < width; ++i) {
        text += (i ? ",\"m" : "\"m") + std::to_string(i) + "\":" + std::to_string(i);
    }
    return text + extra + "}";
}

// Every lookup the index answers as FindMember does, present or not.
void ExpectSameAsFindMember(const rapidjson::Value& object, const std::string& name) {
    MemberIndex index(object);
    const rapidjson::Value* found =
        index.Find(name.c_str(), static_cast<rapidjson::SizeType>(name.size()));
    auto expected = object.FindMember(rapidjson::StringRef(name.c_str(), name.size()));
    const rapidjson::Value* wanted = expected == object.MemberEnd() ? nullptr : &expected->value;
    EXPECT_EQ(wanted, found) << name;
    // A hint at any position, a later duplicate of the name included, finds the same member.
    rapidjson::SizeType width = object.IsObject() ? object.MemberCount() : 0;
    for (rapidjson::SizeType hint = 0; hint <= width; ++hint) {
        EXPECT_EQ(wanted,
                  index.Find(name.c_str(), static_cast<rapidjson::SizeType>(name.size()), hint))
            << name << " hint " << hint;
    }
}

TEST(MemberIndexTest, FindsTheFirstMemberOfANameInNarrowAndWideObjects) {
    for (int width : {0, 3, 8, 9, 40, 200}) {
        rapidjson::Document object = Parse(Wide(width, width ? ",\"m2\":\"again\"" : ""));
        for (int i = 0; i <= width; ++i) {
            ExpectSameAsFindMember(object, "m" + std::to_string(i));
        }
        ExpectSameAsFindMember(object, "");
        ExpectSameAsFindMember(object, "m");
    }
    rapidjson::Document withEmptyName = Parse(Wide(20, R"(,"":"empty")"));
    ExpectSameAsFindMember(withEmptyName, "");
    MemberIndex none(Parse("[1,2]"));
    EXPECT_EQ(nullptr, none.Find("0", 1));
}

TEST(MemberIndexTest, JsonEqualAgreesWithRapidjsonEquality) {
    const std::string cases[][2] = {
        {Wide(30), Wide(30)},
        {Wide(30), Wide(29, R"(,"m29":29.0)")},  // numbers compare as doubles
        {Wide(30), Wide(29, R"(,"m29":"29")")},
        {Wide(30), Wide(31)},
        {Wide(12, R"(,"x":[1,{"a":1}])"), Wide(12, R"(,"x":[1,{"a":2}])")},
        // Duplicate names: each member is compared with the first of its name on the other
        // side, so the order of duplicates decides.
        {Wide(10, R"(,"m3":3)"), Wide(10, R"(,"m3":3)")},
        {Wide(10, R"(,"m3":4)"), Wide(10, R"(,"m3":4)")},
        {R"({"a":1,"a":2})", R"({"a":1,"a":2})"},
        // Alike position by position, yet equal only through the first of a repeated name.
        {R"({"a":1,"a":1})", R"({"a":1,"a":2})"},
        {Wide(20, R"(,"m3":3)"), Wide(20, R"(,"m3":5)")},
        {Wide(300), Wide(300)},
        {R"({"a":1,"b":2})", R"({"b":2,"a":1})"},
        {"[1,2]", "[1,2]"},
        // Scalars: integers by their 64 bits whatever the sign, doubles against anything as
        // doubles, strings byte by byte past the inline compare's length.
        {"[-1, 0, 1.5, 7]", "[18446744073709551615, -0.0, 1.5, 7]"},
        {"[9007199254740993, 3]", "[9007199254740992.0, 3.0]"},
        {"[-2, 4294967296]", "[-2, 4294967297]"},
        {R"(["short", "", "a string longer than sixteen bytes", true, null])",
         R"(["short", "", "a string longer than sixteen bytez", true, null])"},
        {R"(["short", "", "a string longer than sixteen bytes", true, null])",
         R"(["short", "", "a string longer than sixteen bytes", true, null])"},
        {"null", "false"},
    };
    for (const auto& pair : cases) {
        rapidjson::Document a = Parse(pair[0]);
        rapidjson::Document b = Parse(pair[1]);
        EXPECT_EQ(a == b, JsonEqual(a, b)) << pair[0] << " vs " << pair[1];
        EXPECT_EQ(b == a, JsonEqual(b, a)) << pair[1] << " vs " << pair[0];
    }
}

}  // namespace
