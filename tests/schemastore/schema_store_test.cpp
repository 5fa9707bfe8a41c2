#include "tarn/schemastore/schema_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "deadline.h"
#include "host_root_fixture.h"
#include "schema_files.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace TarnSchemaStore {
namespace {

const char kResolver[] = R"({"userConfig": true, "mutableDefault": true,
    "definition": {"type": "object", "properties": {"timeout": {"type": "integer"}}}})";
const char kInterfaces[] = R"({"multiInstance": true, "instanceKey": "name",
    "reservedInstanceIds": ["mgmt0"], "rebootRequired": ["DELETE"],
    "definition": {"type": "object", "properties": {"name": {"type": "string"}}}})";
const char kBanners[] = R"({"multiInstance": true, "instanceKey": "cs_generated_id",
    "integrated": false, "mutableDefault": true, "smartnic": true,
    "definition": {"type": "object", "properties": {"text": {"type": "string"}}}})";

class SchemaStoreTest : public TarnTest::HostRootTest {
protected:
    void InstallThreeKeys() {
        TarnTest::InstallKeySchema("network", "dns", "resolver", kResolver);
        TarnTest::InstallKeySchema("network", "links", "interfaces", kInterfaces);
        TarnTest::InstallKeySchema("security", "login", "banners", kBanners);
    }
};

TEST_F(SchemaStoreTest, FindsEveryKeyFileOfTheFolderAndNoOtherKey) {
    InstallThreeKeys();
    auto store = SchemaStore::GetStore();
    ASSERT_TRUE(store);
    EXPECT_EQ(3u, store->GetSchemaCache()->GetSchemas().size());
    EXPECT_TRUE(store->GetSchemaCache()->GetLoadErrors().empty());

    auto resolver = GetSchema("network", "dns", "resolver", store);
    ASSERT_TRUE(resolver);
    EXPECT_FALSE(resolver->GetUserConfigSchema().empty());
    auto interfaces = GetSchema(SchemaObjectId("network", "links", "interfaces"), store);
    ASSERT_TRUE(interfaces);
    EXPECT_EQ(std::vector<std::string>{"mgmt0"}, interfaces->GetReservedInstanceIds());
    EXPECT_EQ("cs_generated_id",
              store->GetSchema("security", "login", "banners")->GetInstanceKey());
    EXPECT_EQ("security.login.banners@1", store->GetSchemaText("security", "login", "banners"));
    EXPECT_EQ(interfaces, SchemaStore::GetCache()->Find(interfaces->GetId()));

    // Keys without a schema file.
    EXPECT_FALSE(GetSchema("network", "dns", "search", store));
    EXPECT_FALSE(GetSchema(SchemaObjectId("network", "links", "resolver"), store));
    EXPECT_EQ("", store->GetSchemaText("network", "dns", "search"));
    EXPECT_FALSE(GetSchema("network", "dns", "resolver", nullptr));
}

TEST_F(SchemaStoreTest, MissingFolderGivesEmptyHandleUntilItComesBack) {
    InstallThreeKeys();
    ASSERT_TRUE(SchemaStore::GetStore());
    std::filesystem::remove_all(TarnPaths::kSchemaDir);
    {
        CSLogger::Capture capture;
        EXPECT_FALSE(SchemaStore::GetStore());
        EXPECT_NE(-1, capture.IndexOf(std::string("Schema folder ") + TarnPaths::kSchemaDir +
                                      " is unavailable: No such file or directory"));
    }
    auto cache = SchemaStore::GetCache();
    ASSERT_TRUE(cache);
    EXPECT_TRUE(cache->GetSchemas().empty());

    std::filesystem::create_directories(TarnPaths::kSchemaDir);
    auto store = SchemaStore::GetStore();
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->GetSchemaCache()->GetSchemas().empty());
}

TEST_F(SchemaStoreTest, BadFilesAreSkippedAndNamedWhileTheRestLoads) {
    InstallThreeKeys();
    TarnTest::InstallKeySchema("network", "dns", "broken", "{\"definition\": ");
    TarnTest::InstallKeySchema("network", "dns", "typo", R"({"definition": {"type": "string"},
        "multiInstanse": true})");
    TarnTest::WriteFile(std::string(TarnPaths::kSchemaDir) + "network/stray.json", "{}");
    TarnTest::WriteFile(std::string(TarnPaths::kSchemaDir) + "network/dns/README.md", "notes");
    std::string broken = TarnTest::KeySchemaPath("network", "dns", "broken");
    std::string typo = TarnTest::KeySchemaPath("network", "dns", "typo");
    std::string stray = std::string(TarnPaths::kSchemaDir) + "network/stray.json";

    CSLogger::Capture capture;
    auto store = SchemaStore::GetStore();
    ASSERT_TRUE(store);
    EXPECT_EQ(3u, store->GetSchemaCache()->GetSchemas().size());
    EXPECT_FALSE(store->GetSchema("network", "dns", "typo"));
    EXPECT_TRUE(capture.Contains(
        0, "Schema file " + broken + " skipped: is not valid JSON at offset 15: Invalid value."));
    EXPECT_TRUE(capture.Contains(
        0, "Schema file " + typo + " skipped: multiInstanse: is not a member of a schema file"));
    EXPECT_TRUE(capture.Contains(
        0, "Schema file " + stray + " skipped: is not at <component>/<group>/<key>.json"));
    EXPECT_TRUE(capture.Contains(2, "Loaded 3 key schemas, skipped 3 files"));
    ASSERT_EQ(3u, store->GetSchemaCache()->GetLoadErrors().size());
    EXPECT_EQ(stray, store->GetSchemaCache()->GetLoadErrors()[2].path);
}

// A folder of many files is loaded by two threads: what is found, what is skipped and the
// lines saying so must be those of a load in file order.
TEST_F(SchemaStoreTest, AManyFileFolderLoadsAsInFileOrder) {
    std::vector<std::string> expectedLines;
    size_t good = 0;
    for (int i = 0; i < 300; ++i) {
        std::string key = "k" + std::to_string(1000 + i);  // names sort as they are made
        bool bad = i % 37 == 5;
        TarnTest::InstallKeySchema("network", "many", key, bad ? "{\"definition\": [" : kResolver);
        if (bad) {
            expectedLines.push_back("Schema file " +
                                    TarnTest::KeySchemaPath("network", "many", key) +
                                    " skipped: is not valid JSON at offset 16: Invalid value.");
        } else {
            ++good;
        }
    }
    expectedLines.push_back("Loaded " + std::to_string(good) + " key schemas, skipped " +
                            std::to_string(expectedLines.size()) + " files");

    CSLogger::Capture capture;
    auto store = SchemaStore::GetStore();
    ASSERT_TRUE(store);
    std::vector<std::string> lines;
    for (const auto& line : capture.Lines()) {
        lines.push_back(line.text);
    }
    EXPECT_EQ(expectedLines, lines);
    EXPECT_EQ(good, store->GetSchemaCache()->GetSchemas().size());
    ASSERT_EQ(expectedLines.size() - 1, store->GetSchemaCache()->GetLoadErrors().size());
    EXPECT_EQ(TarnTest::KeySchemaPath("network", "many", "k1005"),
              store->GetSchemaCache()->GetLoadErrors()[0].path);
    for (int i : {0, 150, 299}) {
        auto schema = store->GetSchema("network", "many", "k" + std::to_string(1000 + i));
        ASSERT_TRUE(schema) << i;
        EXPECT_TRUE(schema->HasMutableDefault());
    }
}

TEST_F(SchemaStoreTest, ReloadsOnlyWhenAFileChanges) {
    InstallThreeKeys();
    auto first = SchemaStore::GetStore();
    EXPECT_EQ(first, SchemaStore::GetStore());

    TarnTest::InstallKeySchema("network", "dns", "resolver",
                               R"({"version": 2, "definition": {"type": "string"}})");
    auto second = SchemaStore::GetStore();
    EXPECT_NE(first, second);
    EXPECT_EQ("network.dns.resolver@2", second->GetSchemaText("network", "dns", "resolver"));
    // A handle taken earlier keeps the snapshot it was taken from.
    EXPECT_EQ("network.dns.resolver@1", first->GetSchemaText("network", "dns", "resolver"));

    TarnTest::RemoveKeySchema("security", "login", "banners");
    EXPECT_FALSE(SchemaStore::GetStore()->GetSchema("security", "login", "banners"));

    // An edit in place that keeps the size still shows in the modification time.
    std::string path = TarnTest::KeySchemaPath("network", "links", "interfaces");
    std::string text = TarnTest::ReadFile(path);
    text.replace(text.find("mgmt0"), 5, "mgmt1");
    auto before = SchemaStore::GetStore();
    auto modified = std::filesystem::last_write_time(path);
    TarnTest::WriteFile(path, text);
    std::filesystem::last_write_time(path, modified + std::chrono::seconds(1));
    auto after = SchemaStore::GetStore();
    EXPECT_NE(before, after);
    EXPECT_EQ(std::vector<std::string>{"mgmt1"},
              after->GetSchema("network", "links", "interfaces")->GetReservedInstanceIds());
}

TEST_F(SchemaStoreTest, KeyFileLinkedFromElsewhereIsReloadedWhenItsTargetChanges) {
    // The target's folder is outside the schema folder, so only a listing can notice it.
    std::string target = TarnTest::RootPath("opt/vendor/resolver.json");
    TarnTest::WriteFile(target, kResolver);
    std::string link = TarnTest::KeySchemaPath("network", "dns", "resolver");
    std::filesystem::create_directories(std::filesystem::path(link).parent_path());
    std::filesystem::create_symlink(target, link);
    EXPECT_EQ("network.dns.resolver@1",
              SchemaStore::GetStore()->GetSchemaText("network", "dns", "resolver"));

    TarnTest::WriteFile(target, R"({"version": 7, "definition": {"type": "string"}})");
    EXPECT_EQ("network.dns.resolver@7",
              SchemaStore::GetStore()->GetSchemaText("network", "dns", "resolver"));
}

TEST_F(SchemaStoreTest, KeySetsOfIntegrationAndMutableDefaults) {
    InstallThreeKeys();
    auto store = SchemaStore::GetStore();
    const SchemaObjectId resolver("network", "dns", "resolver");
    const SchemaObjectId banners("security", "login", "banners");
    EXPECT_EQ(std::unordered_set<SchemaObjectId>{banners}, store->GetNotIntegratedKeys());
    EXPECT_EQ(std::unordered_set<SchemaObjectId>{resolver}, store->GetMutableDefaultKeys(false));
    EXPECT_EQ(std::unordered_set<SchemaObjectId>{banners}, store->GetMutableDefaultKeys(true));
}

TEST(SchemaObjectIdTest, ComparesAndHashesAllThreeNames) {
    const SchemaObjectId id("network", "dns", "resolver");
    EXPECT_EQ("comp network grp dns key resolver", id.toString());
    EXPECT_EQ(id, SchemaObjectId("network", "dns", "resolver"));
    std::unordered_set<SchemaObjectId> ids{id};
    for (const SchemaObjectId& other : {SchemaObjectId("network", "dns", "resolvers"),
                                        SchemaObjectId("dns", "network", "resolver")}) {
        EXPECT_NE(id, other) << other.toString();
        EXPECT_EQ(0u, ids.count(other)) << other.toString();
    }
}

TEST_F(SchemaStoreTest, ConcurrentCallersAlwaysSeeACompleteStore) {
    InstallThreeKeys();
    std::atomic<bool> stop{false};
    std::atomic<int> incomplete{0};
    TarnTest::Deadline deadline("four threads reading the schema store");
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            while (!stop) {
                auto store = SchemaStore::GetStore();
                if (!store || !store->GetSchema("network", "links", "interfaces") ||
                    !SchemaStore::GetCache()->Find(SchemaObjectId("network", "dns", "resolver"))) {
                    ++incomplete;
                }
            }
        });
    }
    for (int version = 1; version <= 50; ++version) {
        TarnTest::InstallKeySchema(
            "network", "dns", "resolver",
            R"({"version": )" + std::to_string(version) + R"(, "definition": {"type": "string"}})");
    }
    stop = true;
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(0, incomplete);
    EXPECT_EQ("network.dns.resolver@50",
              SchemaStore::GetStore()->GetSchemaText("network", "dns", "resolver"));
}

}  // namespace
}  // namespace TarnSchemaStore
