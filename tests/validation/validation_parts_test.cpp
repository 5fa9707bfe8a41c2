// The two helpers of Validate on their own: the objects a plugin is given, and validator
// errors filed by path. Their sources are compiled into this test (they are not exported).
#include <gtest/gtest.h>

#include "host_root_fixture.h"
#include "json_test_text.h"
#include "schema_files.h"
#include "tarn/configstore/config_store_exception.h"
#include "tarn/schemastore/schema_store.h"
#include "validation/config_objects.h"
#include "validation/validation_errors.h"

namespace TarnConfigManager {
namespace {

using TarnTest::ParseJson;

using TarnConfigStore::ConfigStoreObjectId;

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

TEST(CollectValidationErrorsTest, FilesFindingsByPathAndRecordsTheObjectsOfKeyPaths) {
    ValidationErrorMap errorMap;
    FailedObjectSet failed;
    CollectValidationErrors(ParseJson(R"([
        {"field": "/c/g/k/p", "errId": 9, "errArgs": ["p"]},
        {"field": "/c/g", "errId": 23, "errArgs": ["2"]},
        {"field": "/c/g/k/p", "errId": 5, "errArgs": ["object", "array"]},
        {"field": "/c/g/k2", "errId": 33, "errArgs": ["c", "g", "k2"]},
        {"field": "", "errId": 99, "errArgs": []}])"),
                            errorMap, failed);

    ASSERT_EQ(4u, errorMap.size());
    EXPECT_EQ("/c/g/k/p", errorMap["/c/g/k/p"].path);
    EXPECT_EQ(
        (std::vector<ErrorInfo>{
            ErrorInfo("com.corvid.tarn.settings.validator.required-property-missing", {"p"}),
            ErrorInfo("com.corvid.tarn.settings.validator.type-mismatch", {"object", "array"})}),
        errorMap["/c/g/k/p"].messages);
    EXPECT_EQ(std::vector<ErrorInfo>{ErrorInfo("com.corvid.tarn.settings.validator.error", {})},
              errorMap[""].messages);
    EXPECT_EQ((FailedObjectSet{{"k", "g", "c"}, {"k2", "g", "c"}}), failed);

    for (const char* malformed : {R"({"field": "/a"})", R"([{"field": "/a", "errId": 1}])",
                                  R"([{"field": 1, "errId": 1, "errArgs": []}])",
                                  R"([{"field": "/a", "errId": 1, "errArgs": [2]}])"}) {
        try {
            CollectValidationErrors(ParseJson(malformed), errorMap, failed);
            ADD_FAILURE() << malformed;
        } catch (const TarnConfigStore::ConfigStoreException& e) {
            EXPECT_EQ(1082, e.GetCode()) << malformed;
        }
    }
}

}  // namespace
}  // namespace TarnConfigManager
