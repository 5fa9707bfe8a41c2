// The validator's own contract: every finding with its field, code and arguments, the code
// sets of the callers, the union construct, document keys, reference cycles and limits.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "deadline.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/validator/json_validator.h"

namespace {

using Codes = std::unordered_set<int>;
using Summary = std::vector<std::string>;

// The code sets the library's callers hand over.
const Codes kPluginObjectCodes = {0, 1, 7, 8};
const Codes kManifestCodes = {0, 1, 4, 8};
const Codes kAutoConfigCodes = {0, 1, 3, 7, 8};
const Codes kDocumentCodes = {0, 1, 3, 7, 8, 11};

rapidjson::Document Parse(const std::string& text) {
    rapidjson::Document document;
    TarnConfigStore::JsonParseError error;
    EXPECT_TRUE(TarnConfigStore::ParseJsonText(text, document, &error))
        << text << ": " << error.message;
    return document;
}

// "field errId [arg,arg]" per reported error, in order.
Summary Summarize(const rapidjson::Value& errors) {
    Summary summary;
    for (const auto& error : errors.GetArray()) {
        std::string line = std::string(error["field"].GetString()) + " " +
                           std::to_string(error["errId"].GetInt()) + " [";
        for (const auto& arg : error["errArgs"].GetArray()) {
            line += std::string(&arg == error["errArgs"].Begin() ? "" : ",") + arg.GetString();
        }
        summary.push_back(line + "]");
    }
    return summary;
}

Summary Validate(const std::string& schema, const std::string& value, const Codes& codes,
                 const std::string& text = "") {
    rapidjson::Document errors;
    JsonValidator::Validate(Parse(schema), Parse(value), errors, codes, text);
    return Summarize(errors);
}

Summary ValidateDocument(const std::string& schema, const std::string& value, const Codes& codes) {
    rapidjson::Document errors;
    JsonValidator::ValidateCMDocument(Parse(schema), Parse(value), errors, codes, "");
    for (const auto& error : errors.GetArray()) {
        EXPECT_FALSE(error.HasMember("error"));
    }
    return Summarize(errors);
}

const char kNtpSchema[] = R"({
    "type": "object",
    "properties": {"host": {"type": "object", "properties": {"ntp": {
        "type": "object",
        "properties": {
            "enabled": {"type": "boolean"},
            "mode": {"enum": ["client", "server"]},
            "servers": {"type": "array", "items": {
                "type": "object",
                "required": ["hostname"],
                "properties": {
                    "hostname": {"type": "string", "format": "hostname"},
                    "port": {"type": "integer", "minimum": 1, "maximum": 65535}
                },
                "additionalProperties": false
            }}
        }
    }}}}
})";

TEST(JsonValidator, ReportsEveryErrorWithItsFieldCodeAndArguments) {
    const char value[] = R"({"host": {"ntp": {
        "enabled": "yes",
        "servers": [{"hostname": "a.example"}, {"port": 0}, {"hostname": "b", "extra": 1}],
        "mode": "peer"}}})";
    EXPECT_EQ(Validate(kNtpSchema, value, {}), (Summary{
                                                   "/host/ntp/enabled 5 [boolean,string]",
                                                   "/host/ntp/servers/1/port 14 [1]",
                                                   "/host/ntp/servers/1/hostname 9 [hostname]",
                                                   "/host/ntp/servers/2/extra 4 [extra]",
                                                   R"(/host/ntp/mode 6 [["client","server"]])",
                                               }));
    EXPECT_EQ(Validate(kNtpSchema, R"({"host": {"ntp": {"servers": [{"hostname": "a"}]}}})", {}),
              Summary{});
}

TEST(JsonValidator, FieldsArePrefixedAndEscapedAsJsonPointers) {
    const char schema[] = R"({"properties": {"a/b": {"type": "string"}},
                              "additionalProperties": {"type": "integer"}})";
    EXPECT_EQ(Validate(schema, R"({"a/b": 1, "c~d": "x", "": true})", {}, "/etc/p.json"),
              (Summary{"/etc/p.json/a~1b 5 [string,integer]", "/etc/p.json/c~0d 5 [integer,string]",
                       "/etc/p.json/ 5 [integer,boolean]"}));
    // The root value itself is the empty pointer.
    EXPECT_EQ(Validate(R"({"type": "array"})", "{}", {}), (Summary{" 5 [array,object]"}));
}

// A union: every branch requires "mode" and fixes its values with an enum.
const char kNicSchema[] = R"({
    "definitions": {
        "dhcp": {"type": "object", "required": ["mode"], "additionalProperties": false,
                 "properties": {"mode": {"enum": ["dhcp"]}, "hostname": {"type": "string"}}},
        "static": {"type": "object", "required": ["mode", "address"],
                   "additionalProperties": false,
                   "properties": {"mode": {"enum": ["static", "fixed"]},
                                  "address": {"type": "string", "format": "ipv4"}}}
    },
    "properties": {"nic": {"oneOf": [{"$ref": "#/definitions/dhcp"},
                                     {"$ref": "#/definitions/static"}]}}
})";

TEST(JsonValidator, UnionReportsItsTagOrTheSelectedBranchOnly) {
    EXPECT_EQ(Validate(kNicSchema, R"({"nic": {"address": "10.0.0.1"}})", kAutoConfigCodes),
              (Summary{"/nic 32 [mode]"}));
    EXPECT_EQ(Validate(kNicSchema, R"({"nic": {"mode": "manual"}})", kAutoConfigCodes),
              (Summary{R"(/nic/mode 31 [mode,"manual"])"}));
    EXPECT_EQ(Validate(kNicSchema, R"({"nic": {"mode": "fixed"}})", kAutoConfigCodes),
              (Summary{"/nic/address 9 [address]"}));
    EXPECT_EQ(Validate(kNicSchema, R"({"nic": {"mode": "dhcp", "address": "x"}})", {}),
              (Summary{"/nic/address 4 [address]"}));
    EXPECT_EQ(Validate(kNicSchema, R"({"nic": {"mode": "static", "address": "10.0.0.1"}})", {}),
              Summary{});
    // Not an object, or enum checks switched off: plain oneOf rules.
    EXPECT_EQ(Validate(kNicSchema, R"({"nic": "dhcp"})", {}), (Summary{"/nic 26 [2]"}));
    EXPECT_EQ(Validate(kNicSchema, R"({"nic": {"address": "10.0.0.1"}})", {6}),
              (Summary{"/nic 26 [2]"}));
}

TEST(JsonValidator, UnionTagErrorTextNamesTheTag) {
    rapidjson::Document errors;
    JsonValidator::Validate(Parse(kNicSchema), Parse(R"({"nic": {}})"), errors, {}, "");
    ASSERT_EQ(errors.Size(), 1u);
    EXPECT_STREQ(errors[0]["error"].GetString(),
                 "Union tag property 'mode' is missing in the object at %s");
}

// One value that breaks a check of every kind the callers' code sets treat differently.
const char kMixedSchema[] = R"({
    "type": "object",
    "required": ["name", "kind"],
    "properties": {
        "name": {"type": "string", "pattern": "^[a-z]+$"},
        "count": {"type": "integer"},
        "host": {"type": "string", "format": "hostname"},
        "flag": {"type": "boolean"},
        "kind": {"type": "string"}
    },
    "additionalProperties": false
})";
const char kMixedValue[] =
    R"({"count": 2.0, "host": "-bad-", "extra": true, "name": "Bad Name", "flag": "yes"})";

TEST(JsonValidator, CallerCodeSetsSwitchOffTheirAdvisoryChecks) {
    EXPECT_EQ(Validate(kMixedSchema, kMixedValue, kManifestCodes),
              (Summary{"/count 3 [2.0]", "/host 7 [hostname]", "/name 10 [^[a-z]+$]",
                       "/flag 5 [boolean,string]", "/kind 9 [kind]"}));
    EXPECT_EQ(Validate(kMixedSchema, kMixedValue, kAutoConfigCodes),
              (Summary{"/extra 4 [extra]", "/name 10 [^[a-z]+$]", "/flag 5 [boolean,string]",
                       "/kind 9 [kind]"}));
    EXPECT_EQ(ValidateDocument(kMixedSchema, kMixedValue, kDocumentCodes),
              Validate(kMixedSchema, kMixedValue, kAutoConfigCodes));
    EXPECT_EQ(Validate(kMixedSchema, kMixedValue, kPluginObjectCodes),
              (Summary{"/count 3 [2.0]", "/extra 4 [extra]", "/name 10 [^[a-z]+$]",
                       "/flag 5 [boolean,string]", "/kind 9 [kind]"}));
}

TEST(JsonValidator, SwitchedOffCheckPassesInsideCombinations) {
    const char schema[] = R"({"anyOf": [
        {"type": "object", "properties": {"a": {"type": "integer"}}, "additionalProperties": false},
        {"type": "object", "required": ["b"], "properties": {"b": {"type": "string"}}}]})";
    EXPECT_EQ(Validate(schema, R"({"a": 1, "c": 2})", {}), (Summary{" 26 [2]"}));
    EXPECT_EQ(Validate(schema, R"({"a": 1, "c": 2})", {4}), Summary{});
    // Tolerating more can make several oneOf branches hold.
    const char oneOf[] = R"({"oneOf": [{"type": "integer"}, {"type": "number", "minimum": 1}]})";
    EXPECT_EQ(Validate(oneOf, "2.0", {}), Summary{});
    EXPECT_EQ(Validate(oneOf, "2.0", {3}), (Summary{" 27 [2]"}));
}

TEST(JsonValidator, ErrorTextsAreFormatsWithOnlyTheFieldConversion) {
    const char schema[] = R"({"required": ["100%s"],
        "properties": {"p": {"enum": ["50%"]}, "%n": {"pattern": "^%d$"}}})";
    rapidjson::Document errors;
    JsonValidator::Validate(Parse(schema), Parse(R"({"p": "x", "%n": "y"})"), errors, {}, "");
    ASSERT_EQ(errors.Size(), 3u);
    CSLogger::Capture capture;
    for (const auto& error : errors.GetArray()) {
        CSLogger::Log(0, error["error"].GetString(), error["field"].GetString());
    }
    EXPECT_TRUE(capture.Contains(0, R"(Value at /p is not one of ["50%"])"));
    EXPECT_TRUE(capture.Contains(0, "Value at /%n does not match the pattern ^%d$"));
    EXPECT_TRUE(capture.Contains(0, "Required property /100%s is missing"));
}

TEST(JsonValidator, ReferenceCyclesAndDanglingReferencesEndInAnError) {
    EXPECT_EQ(Validate(R"({"definitions": {"a": {"$ref": "#/definitions/a"}},
                          "$ref": "#/definitions/a"})",
                       "1", {}),
              (Summary{" 29 [#/definitions/a]"}));
    EXPECT_EQ(Validate(R"({"definitions": {"a": {"allOf": [{"$ref": "#/definitions/a"}]}},
                          "properties": {"x": {"$ref": "#/definitions/a"}}})",
                       R"({"x": 1})", {}),
              (Summary{"/x 29 [#/definitions/a]"}));
    EXPECT_EQ(Validate(R"({"$ref": "#"})", "1", {}), (Summary{" 29 [#]"}));
    EXPECT_EQ(Validate(R"({"properties": {"x": {"$ref": "#/definitions/none"},
                                          "y": {"$ref": "http://example.invalid/s.json"}}})",
                       R"({"x": 1, "y": 2})", {}),
              (Summary{"/x 2 [#/definitions/none]", "/y 2 [http://example.invalid/s.json]"}));
}

TEST(JsonValidator, RecursiveSchemaFollowsDeepValues) {
    const char tree[] = R"({"type": "object", "required": ["v"],
        "properties": {"v": {"type": "integer"}, "next": {"$ref": "#"}}})";
    std::string value = R"({"v": "bad"})";
    std::string path = "/v";
    for (int i = 0; i < 400; ++i) {
        value = R"({"v": 1, "next": )" + value + "}";
        path = "/next" + path;
    }
    EXPECT_EQ(Validate(tree, value, {}), (Summary{path + " 5 [integer,string]"}));
}

TEST(JsonValidator, NestingBeyondTheLimitStopsWithAnError) {
    // Built in memory: the parser would refuse this depth.
    rapidjson::Document value(rapidjson::kArrayType);
    rapidjson::Value* innermost = &value;
    for (int i = 0; i < 3000; ++i) {
        innermost->PushBack(rapidjson::Value(rapidjson::kArrayType), value.GetAllocator());
        innermost = &(*innermost)[0];
    }
    rapidjson::Document errors;
    JsonValidator::Validate(Parse(R"({"items": {"$ref": "#"}})"), value, errors, {}, "");
    ASSERT_EQ(errors.Size(), 1u);
    EXPECT_EQ(errors[0]["errId"].GetInt(), JsonValidator::kNestingTooDeep);
}

TEST(JsonValidator, SchemaDefectsAreReportedUnlessSwitchedOffAndThenIgnored) {
    const char schema[] = R"({"minLength": -1, "frobnicate": true, "format": "colour",
                              "maxLength": 3, "pattern": "(a)\\1"})";
    EXPECT_EQ(
        Validate(schema, R"("abcd")", {}),
        (Summary{" 8 [minLength]", " 0 [frobnicate]", " 8 [pattern]", " 13 [3]", " 1 [colour]"}));
    EXPECT_EQ(Validate(schema, R"("abcd")", kManifestCodes), (Summary{" 13 [3]"}));
}

const char kDocumentSchema[] = R"({"type": "object", "properties": {"comp": {
    "type": "object", "properties": {"grp": {
        "type": "object", "additionalProperties": false,
        "properties": {"key": {"type": "object", "required": ["a"]},
                       "list": {"type": "array"}}}}}}})";

TEST(JsonValidator, DocumentKeysMayHoldTheDeleteDefaultMarker) {
    const char value[] =
        R"({"comp": {"grp": {"key": "DELETE_DEFAULT", "list": "DELETE_DEFAULT",
                             "other": "DELETE_DEFAULT"}}})";
    EXPECT_EQ(ValidateDocument(kDocumentSchema, value, kDocumentCodes),
              (Summary{"/comp/grp/other 4 [other]"}));
    EXPECT_EQ(
        ValidateDocument(kDocumentSchema, value, {}),
        (Summary{"/comp/grp/key 11 []", "/comp/grp/list 11 []", "/comp/grp/other 4 [other]"}));
    // Only keys: the marker anywhere else, or in a plain Validate, is an ordinary string.
    EXPECT_EQ(Validate(kDocumentSchema, value, kDocumentCodes),
              (Summary{"/comp/grp/key 5 [object,string]", "/comp/grp/list 5 [array,string]",
                       "/comp/grp/other 4 [other]"}));
    EXPECT_EQ(
        ValidateDocument(kDocumentSchema, R"({"comp": {"grp": "DELETE_DEFAULT"}})", kDocumentCodes),
        (Summary{"/comp/grp 5 [object,string]"}));
}

TEST(JsonValidator, ErrorsAreAppendedAndABadSchemaThrowsWithoutWriting) {
    rapidjson::Document errors = Parse(R"([{"field": "/x", "errId": 9, "errArgs": []}])");
    JsonValidator::Validate(Parse(R"({"type": "string"})"), Parse("1"), errors, {}, "");
    EXPECT_EQ(Summarize(errors), (Summary{"/x 9 []", " 5 [string,integer]"}));

    rapidjson::Document fresh;
    JsonValidator::Validate(Parse("{}"), Parse("1"), fresh, {}, "");
    EXPECT_TRUE(fresh.IsArray() && fresh.Empty());

    rapidjson::Document untouched = Parse(R"("keep")");
    try {
        JsonValidator::ValidateCMDocument(Parse("[]"), Parse("1"), untouched, {}, "");
        FAIL() << "a schema that is not an object must be refused";
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        EXPECT_EQ(e.GetCode(), TarnConfigStore::kStoreJsonError);
        EXPECT_NE(std::string(e.what()).find("schema"), std::string::npos);
    }
    EXPECT_STREQ(untouched.GetString(), "keep");
}

TEST(JsonValidator, NumbersCompareExactlyBeyondDoublePrecision) {
    EXPECT_EQ(Validate(R"({"maximum": 9223372036854775807})", "9223372036854775808", {}),
              (Summary{" 15 [9223372036854775807]"}));
    EXPECT_EQ(Validate(R"({"minimum": -9223372036854775808})", "18446744073709551615", {}),
              Summary{});
    EXPECT_EQ(Validate(R"({"maximum": 18446744073709551615, "exclusiveMaximum": true})",
                       "18446744073709551615", {}),
              (Summary{" 17 [18446744073709551615]"}));
    // 2^53 + 1 is a multiple of 3; as a double it would read 2^53, which is not.
    EXPECT_EQ(Validate(R"({"multipleOf": 3})", "9007199254740993", {}), Summary{});
    EXPECT_EQ(Validate(R"({"multipleOf": 0.01})", "19.99", {}), Summary{});
    EXPECT_EQ(Validate(R"({"multipleOf": 0.01})", "19.995", {}), (Summary{" 18 [0.01]"}));
    // Integers too large for 64 bits are integers; a fraction written out is not.
    EXPECT_EQ(Validate(R"({"type": "integer"})", "123456789012345678901234567890", {}), Summary{});
    EXPECT_EQ(Validate(R"({"type": "integer"})", "-0.0", {}), (Summary{" 3 [-0.0]"}));
    // From 2^63 on a number written as a float is an integer as well, on either side of zero;
    // the largest double below 2^63 is still a whole number written as a float.
    EXPECT_EQ(Validate(R"({"type": "integer"})", "9223372036854775808.0", {}), Summary{});
    EXPECT_EQ(Validate(R"({"type": "integer"})", "-9.223372036854775808e18", {}), Summary{});
    EXPECT_EQ(Validate(R"({"type": "integer"})", "9223372036854774784.0", {}),
              (Summary{" 3 [9223372036854775000.0]"}));
}

TEST(JsonValidator, ArrayAndObjectLimitsReportEachOffender) {
    EXPECT_EQ(Validate(R"({"items": [{}, {}], "additionalItems": false, "maxItems": 3})",
                       "[1, 2, 3, 4]", {}),
              (Summary{" 20 [3]", "/2 21 [2]", "/3 21 [2]"}));
    EXPECT_EQ(
        Validate(R"({"minProperties": 2, "dependencies": {"a": ["b", "c"]}})", R"({"a": 1})", {}),
        (Summary{" 23 [2]", "/b 25 [b,a]", "/c 25 [c,a]"}));
    EXPECT_EQ(Validate(R"({"minLength": 2, "maxLength": 3})", R"("\u00e9")", {}),
              (Summary{" 12 [2]"}));
}

TEST(JsonValidator, RepeatedItemsNameTheItemTheyRepeat) {
    std::string large = "[";
    for (int i = 0; i < 40; ++i) {
        large += std::to_string(i) + ",";
    }
    large += R"(5, 7.0, {"a": 1, "b": [2]}, {"b": [2], "a": 1}, [1], [1.0]])";
    EXPECT_EQ(Validate(R"({"uniqueItems": true})", large, {}),
              (Summary{"/40 22 [5]", "/41 22 [7]", "/43 22 [42]", "/45 22 [44]"}));
    EXPECT_EQ(Validate(R"({"uniqueItems": true})", R"([1, "1", true, 1.0, null, null])", {}),
              (Summary{"/3 22 [0]", "/5 22 [4]"}));
}

TEST(JsonValidator, ThreadsValidateAtTheSameTime) {
    const char value[] = R"({"host": {"ntp": {"servers": [{"port": 0}, {"hostname": "-x"}]}}})";
    const Summary expected = Validate(kNtpSchema, value, {});
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    TarnTest::Deadline deadline("four threads validating");
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                // A new pattern per round exercises the shared pattern cache.
                std::string schema = R"({"pattern": "^a{)" + std::to_string(i % 7) + "}$\"}";
                mismatches[t] += Validate(kNtpSchema, value, {}) != expected;
                mismatches[t] += Validate(schema, R"("aaa")", {}).empty() != (i % 7 == 3);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(JsonValidator, MessageIdsAreDistinctPerCode) {
    EXPECT_STREQ(JsonValidator::ConvertErrorCodeToMsgId(9),
                 "com.corvid.tarn.settings.validator.required-property-missing");
    EXPECT_STREQ(JsonValidator::ConvertErrorCodeToMsgId(32),
                 "com.corvid.tarn.settings.validator.union-tag-missing");
    EXPECT_STREQ(JsonValidator::ConvertErrorCodeToMsgId(5),
                 "com.corvid.tarn.settings.validator.type-mismatch");
    EXPECT_STREQ(JsonValidator::ConvertErrorCodeToMsgId(-1),
                 "com.corvid.tarn.settings.validator.error");
    std::unordered_set<std::string> ids;
    for (int code = 0; code <= JsonValidator::kUnionTagMissing; ++code) {
        ids.insert(JsonValidator::ConvertErrorCodeToMsgId(code));
    }
    EXPECT_EQ(ids.size(), 33u);  // 0 to 32, every one its own
}

}  // namespace
