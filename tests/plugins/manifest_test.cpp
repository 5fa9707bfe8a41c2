// Plugin: identity from the path rule, manifest validation and every query by version.
#include <gtest/gtest.h>

#include <cstdlib>

#include "deradidezivizoda/plugins/plugin.h"
#include "expect_store_error.h"
#include "host_root_fixture.h"
#include "plugin_files.h"
#include "schema_files.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

using TarnConfigManager::Plugin;
using TarnConfigManager::PluginApplyOperation;

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

// "c/g/k,c/g/k": component, group and key of each id, in order.
std::string Keys(const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids) {
    std::string text;
    for (const auto& id : ids) {
        text +=
            (text.empty() ? "" : ",") + id.GetComponent() + "/" + id.GetGroup() + "/" + id.GetKey();
    }
    return text;
}

// "name:provides<-depends,..." of each operation, separated by blanks.
std::string Operations(const std::vector<PluginApplyOperation>& operations) {
    std::string text;
    for (const auto& op : operations) {
        text += (text.empty() ? "" : " ") + op.name + ":" + op.provides + "<-";
        for (const auto& tag : op.depends) {
            text += tag + (&tag == &op.depends.back() ? "" : ",");
        }
    }
    return text;
}

// CheckType for APPLY, APPLY_BOOT, EXTRACT, IMPACT and VALIDATE, as 0s and 1s.
std::string Support(const Plugin& plugin) {
    std::string text;
    for (int type = 0; type <= 5; ++type) {
        text += plugin.CheckType(static_cast<TarnConfigManager::PluginType>(type)) ? "1" : "0";
    }
    return text;
}

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

TEST_F(ManifestTest, FoldersBelowThePluginDirectoryGiveIdModuleAndKeys) {
    TarnTest::InstallKeySchema("tarn", "system", "ntp", R"({"type": "object", "properties": {}})",
                               "");
    struct Case {
        const char *dir, *text, *id, *module, *keys, *schemaText;
    } cases[] = {
        {"net", kNativeV1, "net", "libnet.so", "a/b/c,net/dns/servers", ""},
        {"net/vlan", kNativeV1, "net:vlan", "libnet_vlan.so", "a/b/c,net/dns/servers", ""},
        {"dns", kFullV2, "dns", "", "net/dns/servers", ""},
        {"tarn/system/ntp", kV3, "tarn:system:ntp", "libtarn_system_ntp.so", "tarn/system/ntp",
         "tarn.system.ntp@1"},
        {"tarn/system/ntp/extra", kV3, "tarn:system:ntp:extra", "libtarn_system_ntp_extra.so",
         "tarn/system/ntp", "tarn.system.ntp@1"},
    };
    for (const Case& c : cases) {
        CSLogger::Capture capture;
        auto plugin = Load(c.dir, c.text);
        EXPECT_TRUE(capture.Contains(2, "Processing file " + TarnTest::InstallManifest(c.dir, "")));
        EXPECT_EQ(c.id, plugin->GetId());
        EXPECT_EQ(c.module, plugin->GetModule());
        EXPECT_EQ(c.keys, Keys(plugin->GetCSOIdList())) << c.dir;
        EXPECT_EQ(c.schemaText, plugin->GetSchemaText()) << c.dir;
    }
}

TEST_F(ManifestTest, PathsOfTheWrongDepthOrOutsideThePluginDirectoryAreInvalid) {
    const std::string outside = TarnTest::RootPath("etc/plugin.json");
    TarnTest::WriteFile(outside, kNativeV1);
    const std::pair<std::string, std::string> cases[] = {
        {TarnTest::InstallManifest("", kNativeV1), "1"},
        {TarnTest::InstallManifest("a/b/c", kNativeV1), "1"},
        {TarnTest::InstallManifest("tarn/system", kV3), "3"},
        {TarnTest::InstallManifest("tarn/system/ntp/a/b", kV3), "3"},
        {outside, "1"}};
    for (const auto& [path, version] : cases) {
        CSLogger::Capture capture;
        const char* file = path.c_str();
        ExpectStoreError(2081, [file] { Plugin p(file); }, {path});
        EXPECT_TRUE(
            capture.Contains(0, "Invalid filepath " + path + " for this version " + version));
    }
}

TEST_F(ManifestTest, ManifestsThatDoNotMeetTheirSchemaAreRefused) {
    std::string path = TarnTest::InstallManifest("net", R"({"version": 0})");
    auto load = [&] { Plugin p(path.c_str()); };
    ExpectStoreError(
        3000, load,
        {"The version of the plugin defined in '" + path +
         "' which is 0 does not have a matching hardcoded schema to use for validation"});

    const std::string prefix =
        "Failed to validate the plugin defined in '" + path + "' , version 1, errors: ";
    TarnTest::InstallManifest("net", R"({"accepts": [], "apply_group": "network", "boot": true,
                                         "operations": {}})");
    ExpectStoreError(
        3000, load,
        {prefix + R"([{"errArgs":["type"],"error":"Required property %s is missing"}])"});

    // Only "error" and "errArgs" of each finding are kept.
    TarnTest::InstallManifest("net", R"({"type": "c++", "accepts": ["net:dns"], "apply_group": "x",
                                         "boot": "yes", "operations": {"o": {"provides": "p"}}})");
    ExpectStoreError(
        3000, load,
        {prefix + "[{\"errArgs\":[\"^[^:]+:[^:]+:[^:]+\"],\"error\":\"Value at %s does "
                  "not match the pattern",
         R"("boolean","string"])", R"({"errArgs":["depends"],"error":)"});

    ExpectStoreError(3000, [] { Plugin p(nullptr); }, {"Cannot create Plugin from NULL filename"});
    TarnTest::InstallManifest("net", "{\"type\": ");
    ExpectStoreError(2080, load, {});
}

TEST_F(ManifestTest, QueriesAnswerFromTheMembersOfTheVersion) {
    auto v1 = Load("net", kNativeV1);
    CSLogger::Capture capture;
    EXPECT_EQ("network", v1->GetApplyGroup());
    EXPECT_EQ("up:link<- route:routes<-link,system-early", Operations(v1->GetOperations()));
    EXPECT_TRUE(capture.Contains(3, "Processing apply_group in version=1, module=libnet.so,"));
    EXPECT_TRUE(capture.Contains(3, "Processing apply_operations in version=1, module=libnet.so,"));
    EXPECT_EQ("110000", Support(*v1));
    EXPECT_EQ("", Keys(v1->GetExtractConfigIds()) + Keys(v1->GetImpactCacheDetails()) +
                      Keys(v1->GetReferences()));
    PluginApplyOperation untouched{"keep", "tag", {"x"}};
    v1->GetRemediateOperation(untouched);
    EXPECT_EQ("keep:tag<-x", Operations({untouched}));

    auto v2 = Load("dns", kFullV2);
    EXPECT_EQ("network", v2->GetApplyGroup());
    EXPECT_EQ("set:dns<-link", Operations(v2->GetOperations()));
    EXPECT_EQ("101110", Support(*v2));
    // Without "extract"."accepts" the plugin extracts the keys it accepts.
    EXPECT_EQ("net/dns/servers", Keys(v2->GetExtractConfigIds()));
    EXPECT_EQ("net/dns/cache", Keys(v2->GetImpactCacheDetails()));
    EXPECT_EQ("net/vlan/ids,net/nic/list", Keys(v2->GetReferences()));

    auto v3 = Load("tarn/system/ntp", kV3);
    EXPECT_EQ("system", v3->GetApplyGroup());
    EXPECT_EQ("111000", Support(*v3));
    PluginApplyOperation op{"", "", {"earlier"}};
    v3->GetRemediateOperation(op);
    EXPECT_EQ("REMEDIATE:ntp<-earlier,storage,clock", Operations({op}));
    EXPECT_EQ("tarn/system/ntp,tarn/system/time", Keys(v3->GetExtractConfigIds()));
}

TEST_F(ManifestTest, QueriesForMissingSectionsAreShapeErrors) {
    auto bare = Load("bare", R"({"version": 2, "type": "c++", "accepts": ["a:b:c"],
                                 "impact": {"supports": false, "cache_drift": ["a:b:c"]}})");
    EXPECT_FALSE(bare->HasApplySupport() || bare->HasImpactSupport() || bare->HasExtractSupport() ||
                 bare->HasValidateSupport());
    EXPECT_EQ("", Keys(bare->GetImpactCacheDetails()));
    // Asked by type, as a plugin manager loading for boot asks every plugin, it is no error.
    EXPECT_EQ("000000", Support(*bare));
    ExpectStoreError(1082, [&] { bare->HasApplyBootSupport(); }, {});
    ExpectStoreError(1082, [&] { bare->GetApplyGroup(); }, {});
    ExpectStoreError(1082, [&] { Load("tarn/system/ntp", kV3)->GetOperations(); }, {});
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
