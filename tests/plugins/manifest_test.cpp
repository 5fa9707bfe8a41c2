// Plugin: identity from the path rule, manifest validation and every query by version.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "../configstore/expect_store_error.h"
#include "deradidezivizoda/plugins/plugin.h"
#include "host_root_fixture.h"
#include "plugin_files.h"
#include "schema_files.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

using TarnConfigManager::Plugin;
using TarnConfigManager::PluginApplyOperation;
using TarnConfigStore::ConfigStoreObjectId;

namespace {

const char kNativeV1[] = R"({"type": "c++", "accepts": ["a:b:c:d", "net:dns:servers"],
    "apply_group": "network", "boot": true,
    "operations": {"up": {"provides": "link", "depends": []},
                   "route": {"provides": "routes", "depends": ["link", "system-early"]}}})";

const char kFullV2[] = R"({"version": 2, "type": "python", "accepts": ["net:dns:servers"],
    "apply": {"apply_group": "network", "boot": false,
              "operations": {"set": {"provides": "dns", "depends": ["link"]}}},
    "impact": {"supports": true, "cache_drift": ["net:dns:cache"]},
    "extract": {"supports": true},
    "validation": {"supports": true, "references": ["net:vlan:ids", "net:nic:list"]},
    "comment": "members a schema does not list are tolerated"})";

const char kV3[] = R"({"version": 3, "type": "c++", "accepts": ["x:y:z"],
    "apply": {"apply_group": "system", "boot": true,
              "REMEDIATE": {"provides": "ntp", "depends": ["storage", "clock"]}},
    "extract": {"supports": true, "accepts": ["tarn:system:ntp", "tarn:system:time"]}})";

class ManifestTest : public TarnTest::HostRootTest {
protected:
    void SetUp() override {
        HostRootTest::SetUp();
        TarnTest::InstallManifestSchemas();
    }
    static std::shared_ptr<Plugin> Load(const std::string& dir, const std::string& text) {
        return std::make_shared<Plugin>(TarnTest::InstallManifest(dir, text).c_str());
    }
};

ConfigStoreObjectId Key(const char* component, const char* group, const char* key) {
    return ConfigStoreObjectId(key, group, component);
}

TEST_F(ManifestTest, FoldersBelowThePluginDirectoryGiveIdModuleAndKeys) {
    CSLogger::Capture capture;
    auto net = Load("net", kNativeV1);
    EXPECT_TRUE(capture.Contains(2, "Processing file " + TarnTest::InstallManifest("net", "")));
    EXPECT_EQ(1, net->GetVersion());
    EXPECT_EQ("net", net->GetId());
    EXPECT_EQ("libnet.so", net->GetModule());
    EXPECT_EQ("c++", net->GetType());
    EXPECT_EQ((std::vector<ConfigStoreObjectId>{Key("a", "b", "c"), Key("net", "dns", "servers")}),
              net->GetCSOIdList());

    auto vlan = Load("net/vlan", kNativeV1);
    EXPECT_EQ("net:vlan", vlan->GetId());
    EXPECT_EQ("libnet_vlan.so", vlan->GetModule());

    auto python = Load("dns", kFullV2);
    EXPECT_EQ("dns", python->GetId());
    EXPECT_EQ("", python->GetModule());
}

TEST_F(ManifestTest, VersionThreeServesTheKeyItsFoldersName) {
    TarnTest::InstallKeySchema("tarn", "system", "ntp", R"({"type": "object", "properties": {}})",
                               "");
    auto ntp = Load("tarn/system/ntp", kV3);
    EXPECT_EQ("tarn:system:ntp", ntp->GetId());
    EXPECT_EQ("libtarn_system_ntp.so", ntp->GetModule());
    EXPECT_EQ(std::vector<ConfigStoreObjectId>{Key("tarn", "system", "ntp")}, ntp->GetCSOIdList());
    EXPECT_EQ("tarn.system.ntp@1", ntp->GetSchemaText());

    auto extra = Load("tarn/system/ntp/extra", kV3);
    EXPECT_EQ("tarn:system:ntp:extra", extra->GetId());
    EXPECT_EQ(std::vector<ConfigStoreObjectId>{Key("tarn", "system", "ntp")},
              extra->GetCSOIdList());

    // A key without a schema leaves the text empty.
    EXPECT_EQ("", Load("net", kNativeV1)->GetSchemaText());
}

TEST_F(ManifestTest, PathsOfTheWrongDepthOrOutsideThePluginDirectoryAreInvalid) {
    const std::string outside = TarnTest::RootPath("etc/plugin.json");
    TarnTest::WriteFile(outside, kNativeV1);
    struct Case {
        std::string path;
        const char* text;
    } cases[] = {{TarnTest::InstallManifest("", kNativeV1), kNativeV1},
                 {TarnTest::InstallManifest("a/b/c", kNativeV1), kNativeV1},
                 {TarnTest::InstallManifest("tarn/system", kV3), kV3},
                 {TarnTest::InstallManifest("tarn/system/ntp/a/b", kV3), kV3},
                 {outside, kNativeV1}};
    for (const Case& c : cases) {
        CSLogger::Capture capture;
        try {
            Plugin plugin(c.path.c_str());
            ADD_FAILURE() << c.path << " was accepted";
        } catch (const TarnConfigStore::ConfigStoreException& e) {
            EXPECT_EQ(2081, e.GetCode()) << c.path;
            EXPECT_EQ(std::vector<std::string>{c.path}, e.GetArgs());
        }
        std::string version = c.text == kV3 ? "3" : "1";
        EXPECT_TRUE(
            capture.Contains(0, "Invalid filepath " + c.path + " for this version " + version));
    }
}

TEST_F(ManifestTest, ManifestsThatDoNotMeetTheirSchemaAreRefused) {
    std::string path = TarnTest::InstallManifest("net", R"({"version": 0})");
    ExpectStoreError(
        3000, [&] { Plugin p(path.c_str()); },
        {"The version of the plugin defined in '" + path +
         "' which is 0 does not have a matching hardcoded schema to use for validation"});
    TarnTest::InstallManifest("net", R"({"version": -4, "type": "c++"})");
    ExpectStoreError(3000, [&] { Plugin p(path.c_str()); }, {"' which is -4 does not have"});

    const std::string prefix =
        "Failed to validate the plugin defined in '" + path + "' , version 1, errors: ";
    TarnTest::InstallManifest("net", R"({"accepts": [], "apply_group": "network", "boot": true,
                                         "operations": {}})");
    ExpectStoreError(
        3000, [&] { Plugin p(path.c_str()); },
        {prefix + R"([{"errArgs":["type"],"error":"Required property %s is missing"}])"});

    TarnTest::InstallManifest("net", R"({"type": "c++", "accepts": ["net:dns"], "apply_group": "x",
                                         "boot": "yes", "operations": {"o": {"provides": "p"}}})");
    try {
        Plugin p(path.c_str());
        ADD_FAILURE() << "accepted";
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        std::string message = e.what();
        EXPECT_EQ(0u, message.find(prefix)) << message;
        for (const char* finding :
             {"does not match the pattern", "\"boolean\",\"string\"", R"("errArgs":["depends"])"}) {
            EXPECT_NE(std::string::npos, message.find(finding)) << message;
        }
        EXPECT_EQ(std::string::npos, message.find("field")) << message;
    }

    ExpectStoreError(3000, [] { Plugin p(nullptr); }, {"Cannot create Plugin from NULL filename"});
    TarnTest::InstallManifest("net", "{\"type\": ");
    ExpectStoreError(2080, [&] { Plugin p(path.c_str()); }, {});
}

TEST_F(ManifestTest, VersionOneAnswersFromTopLevelMembers) {
    auto plugin = Load("net", kNativeV1);
    CSLogger::Capture capture;
    EXPECT_EQ("network", plugin->GetApplyGroup());
    EXPECT_TRUE(capture.Contains(3, "Processing apply_group in version=1, module=libnet.so,"));
    auto operations = plugin->GetOperations();
    EXPECT_TRUE(capture.Contains(3, "Processing apply_operations in version=1, module=libnet.so,"));
    ASSERT_EQ(2u, operations.size());
    EXPECT_EQ("up", operations[0].name);
    EXPECT_EQ("link", operations[0].provides);
    EXPECT_TRUE(operations[0].depends.empty());
    EXPECT_EQ("route", operations[1].name);
    EXPECT_EQ((std::vector<std::string>{"link", "system-early"}), operations[1].depends);

    PluginApplyOperation untouched{"keep", "tag", {"x"}};
    plugin->GetRemediateOperation(untouched);
    EXPECT_EQ("keep", untouched.name);

    EXPECT_TRUE(plugin->CheckType(TarnConfigManager::APPLY));
    EXPECT_TRUE(plugin->CheckType(TarnConfigManager::APPLY_BOOT));
    for (auto type : {TarnConfigManager::EXTRACT, TarnConfigManager::IMPACT,
                      TarnConfigManager::VALIDATE, static_cast<TarnConfigManager::PluginType>(9)}) {
        EXPECT_FALSE(plugin->CheckType(type)) << type;
    }
    EXPECT_TRUE(plugin->GetExtractConfigIds().empty());
    EXPECT_TRUE(plugin->GetImpactCacheDetails().empty());
    EXPECT_TRUE(plugin->GetReferences().empty());
}

TEST_F(ManifestTest, VersionTwoAnswersFromItsSections) {
    auto plugin = Load("dns", kFullV2);
    EXPECT_EQ("network", plugin->GetApplyGroup());
    auto operations = plugin->GetOperations();
    ASSERT_EQ(1u, operations.size());
    EXPECT_EQ("dns", operations[0].provides);
    EXPECT_FALSE(plugin->HasApplyBootSupport());
    for (auto type : {TarnConfigManager::APPLY, TarnConfigManager::EXTRACT,
                      TarnConfigManager::IMPACT, TarnConfigManager::VALIDATE}) {
        EXPECT_TRUE(plugin->CheckType(type)) << type;
    }
    // Without "extract"."accepts" the plugin extracts the keys it accepts.
    EXPECT_EQ(plugin->GetCSOIdList(), plugin->GetExtractConfigIds());
    EXPECT_EQ(std::vector<ConfigStoreObjectId>{Key("net", "dns", "cache")},
              plugin->GetImpactCacheDetails());
    EXPECT_EQ(
        (std::vector<ConfigStoreObjectId>{Key("net", "vlan", "ids"), Key("net", "nic", "list")}),
        plugin->GetReferences());

    auto bare = Load("bare", R"({"version": 2, "type": "c++", "accepts": ["a:b:c"],
                                 "impact": {"supports": false, "cache_drift": ["a:b:c"]}})");
    EXPECT_FALSE(bare->HasApplySupport());
    EXPECT_FALSE(bare->HasImpactSupport());
    EXPECT_FALSE(bare->HasExtractSupport());
    EXPECT_TRUE(bare->GetImpactCacheDetails().empty());
    // Asking for apply details of a plugin without an apply section is a shape error.
    ExpectStoreError(1082, [&] { bare->HasApplyBootSupport(); }, {});
    ExpectStoreError(1082, [&] { bare->GetApplyGroup(); }, {});
}

TEST_F(ManifestTest, VersionThreeHasOneRemediateOperation) {
    auto plugin = Load("tarn/system/ntp", kV3);
    EXPECT_EQ("system", plugin->GetApplyGroup());
    EXPECT_TRUE(plugin->CheckType(TarnConfigManager::APPLY_BOOT));
    PluginApplyOperation op{"", "", {"earlier"}};
    plugin->GetRemediateOperation(op);
    EXPECT_EQ("REMEDIATE", op.name);
    EXPECT_EQ("ntp", op.provides);
    EXPECT_EQ((std::vector<std::string>{"earlier", "storage", "clock"}), op.depends);
    ExpectStoreError(1082, [&] { plugin->GetOperations(); }, {});
    EXPECT_EQ((std::vector<ConfigStoreObjectId>{Key("tarn", "system", "ntp"),
                                                Key("tarn", "system", "time")}),
              plugin->GetExtractConfigIds());
}

// The schema map is process-wide, so the retry is observed in a fresh process: the death
// test's child re-runs only this test.
TEST(ManifestSchemaMap, IsBuiltAgainAfterAFailedLoad) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TarnTest::ResetHostRoot();
            std::string path = TarnTest::InstallManifest("net", kNativeV1);
            std::string expected = std::string("Failed to open the schema file \"") +
                                   TarnPaths::kPluginSchemaDir + "plugin_version_1_schema.json\"";
            bool failedFirst = false;
            try {
                Plugin plugin(path.c_str());
            } catch (const TarnConfigStore::ConfigStoreException& e) {
                failedFirst = e.GetCode() == 3000 && e.what() == expected;
            }
            TarnTest::InstallManifestSchemas();
            Plugin plugin(path.c_str());
            std::exit(failedFirst && plugin.GetId() == "net" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
