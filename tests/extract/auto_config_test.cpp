// Auto-configuration: members validation finds missing are filled from what the host
// configured automatically; other findings leave the value alone.
#include <gtest/gtest.h>

#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/extract/config_map_list.h"
#include "extract_fixture.h"
#include "tarn/logger/cs_logger.h"

using namespace TarnConfigManager;
using namespace ExtractTest;

namespace {

const char kRouteSchema[] = R"({"type": "object", "required": ["gateway"],
  "properties": {"gateway": {"type": "string"}, "metric": {"type": "integer"},
    "addressing": {"oneOf": [
      {"required": ["mode"], "properties": {"mode": {"enum": ["dhcp"]}}},
      {"required": ["mode", "address"],
       "properties": {"mode": {"enum": ["static"]}, "address": {"type": "string"}}}]}}})";
const char kStoredRoute[] = R"({"metric":"high","addressing":{"address":"10.0.0.5"}})";
const char kAutoRoute[] =
    R"({"gateway":"10.0.0.1","metric":10,"addressing":{"mode":"static","address":"x"}})";

class AutoConfig : public ExtractionTest {
protected:
    void SetUp() override {
        ExtractionTest::SetUp();
        Schema("net", "routes", "default", kRouteSchema);
        Current("net", "routes", "default", "", kStoredRoute, kAutoRoute);
    }

    std::string Extracted(std::shared_ptr<ExtractionData> plugins) {
        RowList rows = TarnConfigStore::GetUserConfigContents(connection_);
        rapidjson::Document document(rapidjson::kObjectType);
        ProcessConfigMapList(document, rows, TarnSchemaStore::SchemaStore::GetStore(),
                             CURRENT_CONFIG, plugins);
        return Text(document["net"]["routes"]["default"]);
    }
};

}  // namespace

TEST_F(AutoConfig, FillsRequiredMembersAndUnionTagsAndLogsOtherFindings) {
    CSLogger::Capture log;
    EXPECT_EQ(Extracted(nullptr),
              R"({"metric":"high","addressing":{"address":"10.0.0.5","mode":"static"},)"
              R"("gateway":"10.0.0.1"})");
    EXPECT_TRUE(log.Contains(2,
                             "patching validation error: '/gateway' Required property %s is "
                             "missing"));
    EXPECT_TRUE(log.Contains(2,
                             "patching validation error: '/addressing' Union tag property "
                             "'mode' is missing in the object at %s"));
    EXPECT_TRUE(log.Contains(0,
                             "unexpected validation error: '/metric' Value at %s is of type "
                             "string; expected integer"));
}

TEST_F(AutoConfig, KeysDeliveredByPluginsAreTakenAsTheyAre) {
    auto plugins = std::make_shared<ExtractionData>();
    plugins->keys.insert(TarnSchemaStore::SchemaObjectId("net", "routes", "default"));
    EXPECT_EQ(Extracted(plugins), kStoredRoute);
}

TEST_F(AutoConfig, AutoConfigurationTextIsReadOnlyWhenSomethingIsMissing) {
    rapidjson::Document schema, value;
    TarnConfigStore::ParseJsonText(kRouteSchema, schema);
    TarnConfigStore::ParseJsonText(R"({"gateway":"g"})", value);
    ProcessAutoConfig(value, schema, "{not json", value.GetAllocator());
    value.RemoveMember("gateway");
    CSLogger::Capture log;
    ProcessAutoConfig(value, schema, "", value.GetAllocator());
    EXPECT_TRUE(log.Contains(3, "No auto configuration to process"));
    ExpectError<InvalidArgumentException>(2080, "Failed to parse JSON String", [&] {
        ProcessAutoConfig(value, schema, "{not json", value.GetAllocator());
    });
    EXPECT_EQ(Text(value), "{}");
}
