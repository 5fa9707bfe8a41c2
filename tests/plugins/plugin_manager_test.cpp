// PluginManager: which manifests each type loads, the key index and the apply order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "deradidezivizoda/plugins/plugin_manager.h"
#include "expect_store_error.h"
#include "host_root_fixture.h"
#include "plugin_files.h"
#include "schema_files.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

using TarnConfigManager::PluginManager;
using TarnConfigStore::ConfigStoreObjectId;

namespace {

// A version-1 apply plugin of group whose operations member is operations (JSON text).
std::string ApplyManifest(const std::string& group, const std::string& operations,
                          const std::string& accepts = "\"net:dns:servers\"") {
    return R"({"type": "c++", "accepts": [)" + accepts + R"(], "apply_group": ")" + group +
           R"(", "boot": false, "operations": )" + operations + "}";
}

std::string Operation(const std::string& name, const std::string& provides,
                      const std::string& depends) {
    return "{\"" + name + R"(": {"provides": ")" + provides + R"(", "depends": [)" + depends +
           "]}}";
}

long Position(const std::vector<std::string>& order, const std::string& name) {
    auto found = std::find(order.begin(), order.end(), name);
    return found == order.end() ? -1 : found - order.begin();
}

class PluginManagerTest : public TarnTest::HostRootTest {
protected:
    void SetUp() override {
        HostRootTest::SetUp();
        TarnTest::InstallManifestSchemas();
    }
};

TEST_F(PluginManagerTest, WithoutManifestsTheOrderIsTheGroupChain) {
    PluginManager manager(TarnConfigManager::APPLY);
    EXPECT_TRUE(manager.GetPlugins().empty());
    EXPECT_TRUE(manager.List().empty());
    EXPECT_EQ((std::vector<std::string>{"system-early", "network", "storage", "system"}),
              manager.GetDependencies());
    EXPECT_TRUE(PluginManager(TarnConfigManager::IMPACT).GetDependencies().empty());
}

TEST_F(PluginManagerTest, OperationTagsComeAfterTheirDependenciesAndBeforeTheirGroup) {
    std::string link = TarnTest::InstallManifest(
        "net/link", ApplyManifest("network", Operation("up", "link", "")));
    TarnTest::InstallManifest("net/route",
                              ApplyManifest("network", Operation("add", "routes", "\"link\"")));
    TarnTest::InstallManifest("tarn/system/ntp", R"({"version": 3, "type": "python",
        "apply": {"apply_group": "system", "boot": true,
                  "REMEDIATE": {"provides": "ntp", "depends": ["routes", "disks"]}}})");
    TarnTest::InstallManifest("disk", R"({"version": 2, "type": "c++", "accepts": ["s:d:k"],
        "apply": {"apply_group": "storage", "boot": false, "operations":
                  {"mount": {"provides": "disks", "depends": []}}}})");
    CSLogger::Capture capture;
    auto order = PluginManager(TarnConfigManager::APPLY).GetDependencies();
    EXPECT_TRUE(capture.Contains(3, "Processing operations in " + link));

    ASSERT_EQ(8u, order.size());
    const std::pair<const char*, const char*> before[] = {
        {"system-early", "link"}, {"link", "routes"}, {"routes", "network"}, {"network", "disks"},
        {"disks", "storage"},     {"storage", "ntp"}, {"routes", "ntp"},     {"ntp", "system"}};
    for (const auto& [first, second] : before) {
        EXPECT_LT(Position(order, first), Position(order, second)) << first << " " << second;
    }
}

TEST_F(PluginManagerTest, UnresolvableDependenciesFailTheApplyLoad) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{ApplyManifest("network", Operation("o", "p", "\"nobody\""))}, "_Map_base::at"},
        {{ApplyManifest("kernel", Operation("o", "p", ""))}, "_Map_base::at"},
        {{ApplyManifest("network", Operation("o", "a", "\"b\"")),
          ApplyManifest("network", Operation("o", "b", "\"a\""))},
         "The graph must be a DAG."},
    };
    for (const auto& [manifests, reason] : cases) {
        TarnTest::ResetHostRoot();
        TarnTest::InstallManifestSchemas();
        for (size_t i = 0; i < manifests.size(); ++i) {
            TarnTest::InstallManifest("p" + std::to_string(i), manifests[i]);
        }
        CSLogger::Capture capture;
        ExpectStoreError(2083, [] { PluginManager manager(TarnConfigManager::APPLY); },
                         {"Failed to create dependency graph from plugin JSON files."});
        EXPECT_TRUE(capture.Contains(0, std::string("Failed to process dependencies ") + reason));
        // Only apply work needs the order.
        EXPECT_EQ(0u, PluginManager(TarnConfigManager::IMPACT).GetPlugins().size());
    }
}

TEST_F(PluginManagerTest, EachTypeLoadsItsPluginsUnderTheKeysItServes) {
    std::string both = TarnTest::InstallManifest("both", R"({"version": 2, "type": "python",
        "accepts": ["net:dns:servers"], "impact": {"supports": true},
        "extract": {"supports": true, "accepts": ["net:dns:search", "net:dns:servers"]}})");
    std::string plain = TarnTest::InstallManifest("plain", R"({"version": 2, "type": "c++",
        "accepts": ["net:dns:servers"], "extract": {"supports": true}})");
    std::string apply = TarnTest::InstallManifest("apply", ApplyManifest("network", "{}"));
    TarnTest::InstallManifest("apply", "{", "plugin.json.bak");
    TarnTest::InstallManifest("apply", "{", "other.JSON");

    CSLogger::Capture capture;
    PluginManager extract(TarnConfigManager::EXTRACT);
    EXPECT_TRUE(capture.Contains(3, "File " + apply + " does not support type:2"));
    EXPECT_TRUE(
        capture.Contains(3, "Adding cso comp net grp dns key search to extension table " + both));
    EXPECT_EQ(2u, extract.GetPlugins().size());
    auto list = extract.List();
    std::sort(list.begin(), list.end());
    EXPECT_EQ((std::vector<std::string>{"net/dns/search:" + both, "net/dns/servers:" + both,
                                        "net/dns/servers:" + plain}),
              list);

    ConfigStoreObjectId servers("servers", "dns", "net", "instance-7");
    auto found = extract.Find(servers);
    ASSERT_EQ(2u, found.size());
    EXPECT_NE(found[0], found[1]);
    EXPECT_TRUE(capture.Contains(
        3, "Plugin found=" + plain + " for cso=comp net grp dns key servers id instance-7"));
    EXPECT_TRUE(extract.Find(ConfigStoreObjectId("nic", "dns", "net")).empty());
    // Lookups alternating between keys, and a plugin loaded later, find what serves each key.
    EXPECT_EQ(2u, extract.Find(servers).size());
    EXPECT_EQ(1u, extract.Find(ConfigStoreObjectId("search", "dns", "net")).size());
    EXPECT_EQ(2u, extract.Find(ConfigStoreObjectId("servers", "dns", "net", "other")).size());
    EXPECT_TRUE(capture.Contains(
        3, "Plugin found=" + both + " for cso=comp net grp dns key servers id other"));
    std::string late = TarnTest::InstallManifest("late", R"({"version": 2, "type": "python",
        "accepts": ["net:dns:servers"], "extract": {"supports": true}})");
    extract.ProcessJson(late.c_str(), TarnConfigManager::EXTRACT);
    EXPECT_EQ(3u, extract.Find(servers).size());

    PluginManager impact(TarnConfigManager::IMPACT);
    EXPECT_EQ(std::vector<std::string>{"net/dns/servers:" + both}, impact.List());
    EXPECT_EQ(1u, PluginManager(TarnConfigManager::APPLY).GetPlugins().size());
}

// One key name in two groups and two components: lookups in a row, each for another of them,
// find only the plugins of that one.
TEST_F(PluginManagerTest, LookupsInARowTellKeysOfOneNameApart) {
    TarnTest::InstallManifest("dns", R"({"version": 2, "type": "python",
        "accepts": ["net:dns:servers"], "impact": {"supports": true}})");
    TarnTest::InstallManifest("ip", R"({"version": 2, "type": "python",
        "accepts": ["net:ip:servers"], "impact": {"supports": true}})");
    TarnTest::InstallManifest("sys", R"({"version": 2, "type": "python",
        "accepts": ["sys:dns:servers"], "impact": {"supports": true}})");
    PluginManager impact(TarnConfigManager::IMPACT);
    auto only = [&impact](const ConfigStoreObjectId& id) {
        auto found = impact.Find(id);
        return found.size() == 1 ? found[0]->GetId() : "none";
    };
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ("dns", only(ConfigStoreObjectId("servers", "dns", "net", "a")));
        EXPECT_EQ("ip", only(ConfigStoreObjectId("servers", "ip", "net", "a")));
        EXPECT_EQ("sys", only(ConfigStoreObjectId("servers", "dns", "sys", "a")));
        EXPECT_EQ("none", only(ConfigStoreObjectId("servers", "ip", "sys")));
    }
}

TEST_F(PluginManagerTest, LoadFailuresEndTheLoad) {
    std::string shallow = TarnTest::InstallManifest("", ApplyManifest("network", "{}"));
    ExpectStoreError(2081, [] { PluginManager manager(TarnConfigManager::IMPACT); }, {shallow});

    std::filesystem::remove_all(TarnPaths::kPluginDir);
    ExpectStoreError(
        3000, [] { PluginManager manager(TarnConfigManager::APPLY); },
        {std::string("Failed to iterate over ") + TarnPaths::kPluginDir + ", error message: "});
}

// Managers of one process share what they read of the plugin folder; every change made to it
// between two managers, even one that keeps a manifest's size, shows in the second.
TEST_F(PluginManagerTest, ChangesToThePluginFolderShowInTheNextManager) {
    const ConfigStoreObjectId servers("servers", "dns", "net");
    const ConfigStoreObjectId domains("domains", "dns", "net");
    const std::string dnsText = R"({"version": 2, "type": "python",
        "accepts": ["net:dns:servers"], "impact": {"supports": true}})";
    std::string dns = TarnTest::InstallManifest("dns", dnsText);
    auto impact = [] { return PluginManager(TarnConfigManager::IMPACT); };
    EXPECT_EQ(1u, impact().Find(servers).size());
    {
        CSLogger::Capture capture;  // a manifest read before logs as one read now
        EXPECT_EQ(1u, impact().Find(servers).size());
        EXPECT_TRUE(capture.Contains(2, "Processing file " + dns));
        EXPECT_TRUE(capture.Contains(3,
                                     "Adding cso comp net grp dns key servers to extension "
                                     "table " +
                                         dns));
    }

    TarnTest::InstallManifest("ip", R"({"version": 2, "type": "python",
        "accepts": ["net:ip:servers"], "impact": {"supports": true}})");
    EXPECT_EQ(2u, impact().GetPlugins().size());

    TarnTest::InstallManifest("dns", R"({"version": 2, "type": "python",
        "accepts": ["net:dns:domains"], "impact": {"supports": true}})");
    EXPECT_TRUE(impact().Find(servers).empty());
    EXPECT_EQ(1u, impact().Find(domains).size());

    std::filesystem::remove_all(std::string(TarnPaths::kPluginDir) + "ip");
    EXPECT_EQ(1u, impact().GetPlugins().size());

    TarnTest::InstallManifest("dns", "{");
    ExpectStoreError(2080, [&] { impact(); }, {});
    TarnTest::InstallManifest("dns", dnsText);
    EXPECT_EQ(1u, impact().Find(servers).size());

    // A plugin folder put in the place of the one read.
    std::string old = std::string(TarnPaths::kPluginDir);
    old.pop_back();
    std::filesystem::rename(old, old + ".old");
    TarnTest::InstallManifest("dns", dnsText);
    TarnTest::InstallManifest("more", dnsText);
    EXPECT_EQ(2u, impact().Find(servers).size());
}

TEST_F(PluginManagerTest, APluginsSchemaTextFollowsTheSchemaFolder) {
    TarnTest::InstallKeySchema("net", "dns", "servers", R"({"definition": {"type": "string"}})");
    TarnTest::InstallManifest("dns", R"({"version": 2, "type": "python",
        "accepts": ["net:dns:servers"], "impact": {"supports": true}})");
    auto schemaText = [] {
        auto plugins = PluginManager(TarnConfigManager::IMPACT).GetPlugins();
        return plugins.size() == 1 ? plugins[0]->GetSchemaText() : "no plugin";
    };
    EXPECT_EQ("net.dns.servers@1", schemaText());
    TarnTest::InstallKeySchema("net", "dns", "servers",
                               R"({"version": 2, "definition": {"type": "string"}})");
    EXPECT_EQ("net.dns.servers@2", schemaText());
}

// Several threads load managers while the folder keeps changing under them.
TEST_F(PluginManagerTest, ThreadsLoadManagersWhileTheFolderChanges) {
    const std::string text = R"({"version": 2, "type": "python", "accepts": ["net:dns:servers"],
        "impact": {"supports": true}, "extract": {"supports": true}})";
    TarnTest::InstallManifest("a", text);
    TarnTest::InstallManifest("b", text);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            const auto type = t % 2 ? TarnConfigManager::IMPACT : TarnConfigManager::EXTRACT;
            for (int i = 0; i < 40; ++i) {
                try {
                    auto found =
                        PluginManager(type).Find(ConfigStoreObjectId("servers", "dns", "net"));
                    wrong[t] += found.size() != 2;
                } catch (const std::exception&) {
                    ++wrong[t];
                }
            }
        });
    }
    // The same text again, replaced whole as a package would: a change all the same.
    for (int i = 0; i < 20; ++i) {
        std::string path = TarnTest::InstallManifest("a", text, "manifest.json.new");
        std::filesystem::rename(path, path.substr(0, path.size() - 4));
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), wrong);
}

}  // namespace
