// The store's document helpers extraction relies on: cleanup actions and the patches of
// auto-configuration.
#include <gtest/gtest.h>

#include "expect_store_error.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/json_text.h"

using namespace ConfigStoreDocument;

namespace {

rapidjson::Document Json(const std::string& text) {
    rapidjson::Document document;
    EXPECT_TRUE(TarnConfigStore::ParseJsonText(text, document)) << text;
    return document;
}

const char kServiceSchema[] = R"({"type": "object", "required": ["port", "tls"],
  "additionalProperties": false,
  "properties": {
    "cs_generated_id": {"type": "string"},
    "port": {"type": "integer", "default": 22},
    "banner": {"type": "string", "default": "none"},
    "comment": {"type": ["string", "null"]},
    "note": {"type": "string"},
    "password": {"type": "string", "sensitive": true},
    "keys": {"type": "array", "items": {"type": "string", "sensitive": true}},
    "state": {"type": "string", "readOnly": true},
    "tls": {"type": "object", "properties": {"level": {"type": "integer", "default": 1}}},
    "limits": {"type": "object", "properties": {"max": {"type": "integer", "default": 9}}},
    "peers": {"type": "array", "instanceId": "cs_generated_id", "items": {"type": "object",
      "properties": {"cs_generated_id": {"type": "string"}, "host": {"type": "string"}}}}}})";

const char kStoredService[] = R"({"cs_generated_id": "g1", "port": 22, "banner": "none",
  "comment": null, "note": null, "password": "s3cret", "keys": ["k1", "k2"], "state": "up",
  "tls": {"level": 1}, "limits": {"max": 9}, "extra": 1,
  "peers": [{"cs_generated_id": "p1", "host": "a", "bogus": null}]})";

std::string Cleaned(const std::vector<CLEANUP_ACTIONS>& actions) {
    rapidjson::Document value = Json(kStoredService);
    rapidjson::Document schema = Json(kServiceSchema);
    CleanupObject(value, schema, actions, value.GetAllocator());
    return TarnConfigStore::WriteJsonText(value);
}

}  // namespace

TEST(CleanupObject, EachActionRemovesOrMasksWhatItNames) {
    // Required members stay although equal to their default, and so do nulls their type
    // allows; a nested object emptied by its defaults goes with the empty-object action.
    EXPECT_EQ(Cleaned({DROP_NULL_VALUES, DROP_DEFAULT_VALUES, DROP_EMPTY_OBJECTS}),
              R"({"cs_generated_id":"g1","port":22,"comment":null,"password":"s3cret",)"
              R"("keys":["k1","k2"],"state":"up","tls":{},"extra":1,)"
              R"("peers":[{"cs_generated_id":"p1","host":"a"}]})");
    EXPECT_EQ(Cleaned({DROP_GENERATED_IDS, DROP_READ_ONLY_VALUES, DROP_UNDECLARED_MEMBERS,
                       MASK_SENSITIVE_VALUES}),
              R"({"port":22,"banner":"none","comment":null,"note":null,"password":"******",)"
              R"("keys":["******","******"],"tls":{"level":1},"limits":{"max":9},)"
              R"("peers":[{"host":"a","bogus":null}]})");
    // Only the elements of the array are sensitive, not the array: it stays.
    std::string withoutSecrets = Cleaned({DROP_SENSITIVE_VALUES});
    EXPECT_EQ(withoutSecrets.find("password"), std::string::npos);
    EXPECT_NE(withoutSecrets.find(R"("keys":["k1","k2"])"), std::string::npos);
}

TEST(CleanupObject, ACleanerKeptAcrossValuesAndSchemasCleansEachAsCleanupObjectDoes) {
    const std::vector<CLEANUP_ACTIONS> actions = {DROP_NULL_VALUES,        DROP_EMPTY_OBJECTS,
                                                  DROP_READ_ONLY_VALUES,   DROP_DEFAULT_VALUES,
                                                  DROP_UNDECLARED_MEMBERS, MASK_SENSITIVE_VALUES};
    rapidjson::Document service = Json(kServiceSchema);
    // The same members under another schema: open, nothing flagged, other defaults.
    rapidjson::Document open = Json(R"({"type": "array", "items": {"type": "object",
        "properties": {"port": {"default": 23}, "tls": {"type": "object"}}}})");
    // The same members in another order, and with members left out, after the first values:
    // what the cleaner remembers of earlier values' members must not decide for these.
    const char* const values[] = {
        kStoredService,
        R"({"extra": 1, "password": "s3cret", "port": 23, "state": "up", "banner": "none",
            "peers": [{"bogus": null, "host": "a"}], "tls": {"level": 2}, "note": null})",
        R"({"banner": "hi", "port": 22})"};
    ValueCleaner cleaner(actions);
    for (int round = 0; round < 2; ++round) {
        for (const char* text : values) {
            for (const rapidjson::Document* schema : {&service, &open}) {
                rapidjson::Document kept = Json(text);
                rapidjson::Document once = Json(text);
                cleaner.Clean(kept, *schema, kept.GetAllocator());
                CleanupObject(once, *schema, actions, once.GetAllocator());
                EXPECT_EQ(TarnConfigStore::WriteJsonText(once),
                          TarnConfigStore::WriteJsonText(kept));
            }
        }
    }
    ExpectStoreError(2000, [] { ValueCleaner refused({CLEANUP_ACTIONS(8)}); },
                     {"Unknown cleanup action 8"});
}

// Scalars of an object whose property schemas are all plain stay as they are; one schema that
// is not, wherever it sits among the others or as the schema of undeclared members, or an
// object that admits no other members, makes the cleaner look at each member again.
TEST(CleanupObject, ScalarsStayOnlyWhereNoPropertySchemaCanChangeThem) {
    const std::vector<CLEANUP_ACTIONS> actions = {DROP_NULL_VALUES, DROP_GENERATED_IDS,
                                                  DROP_READ_ONLY_VALUES, DROP_DEFAULT_VALUES,
                                                  DROP_UNDECLARED_MEMBERS};
    std::string plain;
    std::string value = R"({"cs_generated_id":"g","other":"x")";
    for (int n = 0; n < 12; ++n) {
        plain += n < 11 ? R"("p)" + std::to_string(n) + R"(":{"type":"integer"},)" : "";
        value += R"(,"p)" + std::to_string(n) + R"(":)" + std::to_string(n);
    }
    value += "}";
    auto cleaned = [&](const std::string& schema) {
        rapidjson::Document stored = Json(value);
        CleanupObject(stored, Json(schema), actions, stored.GetAllocator());
        return TarnConfigStore::WriteJsonText(stored);
    };
    const std::string all = R"({"other":"x","p0":0,"p1":1,"p2":2,"p3":3,"p4":4,"p5":5,"p6":6,)"
                            R"("p7":7,"p8":8,"p9":9,"p10":10,"p11":11})";
    auto without = [&](const std::string& member) {
        std::string text = all;
        size_t at = text.find(member);
        return text.erase(at, member.size());
    };
    EXPECT_EQ(cleaned(R"({"properties":{)" + plain + R"("p11":{}}})"), all);
    EXPECT_EQ(cleaned(R"({"properties":{)" + plain + R"("p11":{"default":11}}})"),
              without(R"(,"p11":11)"));
    EXPECT_EQ(cleaned(R"({"additionalProperties":{"readOnly":true},"properties":{)" + plain +
                      R"("p11":{}}})"),
              without(R"("other":"x",)"));
    EXPECT_EQ(cleaned(R"({"additionalProperties":false,"properties":{)" + plain + R"("p11":{}}})"),
              without(R"("other":"x",)"));
}

TEST(CleanupObject, UnknownActionIsRefusedBeforeAnythingChanges) {
    rapidjson::Document value = Json(R"({"a": null})");
    ExpectStoreError(2000,
                     [&] {
                         CleanupObject(value, rapidjson::Value(),
                                       {DROP_NULL_VALUES, CLEANUP_ACTIONS(7)},
                                       value.GetAllocator());
                     },
                     {"Unknown cleanup action 7"});
    EXPECT_EQ(TarnConfigStore::WriteJsonText(value), R"({"a":null})");
}

TEST(CleanupObject, WorksWithoutSchemaAndNeverDropsTheValueItself) {
    rapidjson::Document value = Json(R"({"a": null, "b": {"c": {}}})");
    CleanupObject(value, rapidjson::Value(), {DROP_NULL_VALUES, DROP_EMPTY_OBJECTS},
                  value.GetAllocator());
    EXPECT_EQ(TarnConfigStore::WriteJsonText(value), "{}");
}

TEST(PatchRequiredProperty, CopiesTheMissingMemberFromTheAutoConfiguration) {
    rapidjson::Document value = Json(R"({"net": {"mtu": 1500}})");
    rapidjson::Document autoConf = Json(R"({"net": {"mtu": 9000, "gateway": "10.0.0.1"}})");
    EXPECT_TRUE(PatchRequiredProperty(value, "/net/gateway", autoConf, value.GetAllocator()));
    // Present, absent from the auto-configuration, or without a parent: nothing changes.
    EXPECT_FALSE(PatchRequiredProperty(value, "/net/mtu", autoConf, value.GetAllocator()));
    EXPECT_FALSE(PatchRequiredProperty(value, "/net/dns", autoConf, value.GetAllocator()));
    EXPECT_FALSE(PatchRequiredProperty(value, "/route/gateway", autoConf, value.GetAllocator()));
    EXPECT_FALSE(PatchRequiredProperty(value, "", autoConf, value.GetAllocator()));
    EXPECT_EQ(TarnConfigStore::WriteJsonText(value),
              R"({"net":{"mtu":1500,"gateway":"10.0.0.1"}})");
    ExpectStoreError(2000,
                     [&] { PatchRequiredProperty(value, "net/x", autoConf, value.GetAllocator()); },
                     {"\"net/x\" is not a JSON pointer"});
}

TEST(PatchUnionTagProperty, FindsTheTagThroughReferencesAndItems) {
    // The port definition is the union, reached through items and a reference.
    rapidjson::Document schema = Json(R"({"type": "object",
      "definitions": {
        "port": {"oneOf": [{"$ref": "#/definitions/dhcp"}, {"$ref": "#/definitions/static"}]},
        "dhcp": {"required": ["mode"], "properties": {"mode": {"enum": ["dhcp"]}}},
        "static": {"required": ["address", "mode"],
                   "properties": {"mode": {"enum": ["static"]}, "address": {"type": "string"}}}},
      "properties": {"ports": {"type": "array", "items": {"$ref": "#/definitions/port"}}},
      "additionalProperties": false})");
    rapidjson::Document value = Json(R"({"ports": [{"address": "10.0.0.2"}, {}]})");
    rapidjson::Document autoConf = Json(R"({"ports": [{"mode": "static"}]})");
    EXPECT_TRUE(PatchUnionTagProperty(value, "/ports/0", autoConf, schema, value.GetAllocator()));
    EXPECT_FALSE(PatchUnionTagProperty(value, "/ports/1", autoConf, schema, value.GetAllocator()));
    EXPECT_FALSE(PatchUnionTagProperty(value, "", autoConf, schema, value.GetAllocator()));
    EXPECT_EQ(TarnConfigStore::WriteJsonText(value),
              R"({"ports":[{"address":"10.0.0.2","mode":"static"},{}]})");
}
