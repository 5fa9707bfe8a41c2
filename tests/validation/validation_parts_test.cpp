// The objects a plugin is given, on their own: their indexes are not visible to plugins.
// The helper's source is compiled into this test (it is not exported).
#include <gtest/gtest.h>

#include "host_root_fixture.h"
#include "json_test_text.h"
#include "schema_files.h"
#include "tarn/schemastore/schema_store.h"
#include "validation/config_objects.h"

namespace TarnConfigManager {
namespace {

using TarnTest::ParseJson;

class CollectConfigObjectsTest : public TarnTest::HostRootTest {};

TEST_F(CollectConfigObjectsTest, OneObjectPerValueOrInstanceNoneForDeleteDefault) {
    TarnTest::InstallKeySchema("net", "dns", "servers",
                               R"({"type": "object", "properties": {"name": {"type": "string"}}})",
                               "name");
    rapidjson::Document value = ParseJson(R"({"net": {"bad": 5, "dns": {
        "servers": [{"name": "a"}, {"name": 7}, {"port": 1}],
        "resolver": "DELETE_DEFAULT", "search": {"q": 1}, "hosts": "x"}}})");
    std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>> objects;
    CollectConfigObjects(objects, value,
                         {{"hosts", "dns", "net"},
                          {"servers", "dns", "net"},
                          {"resolver", "dns", "net"},
                          {"search", "dns", "net"},
                          {"absent", "dns", "net"},
                          {"x", "ntp", "net"},
                          {"x", "bad", "net"},
                          {"x", "y", "absent"}},
                         TarnSchemaStore::SchemaStore::GetCache());

    std::vector<std::string> seen;
    for (const auto& object : objects) {
        const auto& index = object->GetIndex();
        seen.push_back(object->GetConfigStoreObjectId().toString() + " @" +
                       (index ? std::to_string(*index) : "-") + " " + object->GetSerializedData());
    }
    EXPECT_EQ((std::vector<std::string>{
                  R"(comp net grp dns key hosts @- "x")",
                  R"(comp net grp dns key servers id a @0 {"name":"a"})",
                  R"(comp net grp dns key servers @1 {"name":7})",
                  R"(comp net grp dns key servers @2 {"port":1})",
                  R"(comp net grp dns key search @- {"q":1})",
              }),
              seen);
}

}  // namespace
}  // namespace TarnConfigManager
