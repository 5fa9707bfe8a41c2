// Store rows into documents: filters, cleanup per document type, and bad rows.
#include <gtest/gtest.h>

#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/extract/config_map_list.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "extract_fixture.h"
#include "tarn/logger/cs_logger.h"

using namespace TarnConfigManager;
using namespace ExtractTest;

namespace {

class ConfigMapList : public ExtractionTest {
protected:
    void SetUp() override {
        ExtractionTest::SetUp();
        Schema("net", "dns", "resolver", R"({"type": "object", "required": ["servers"],
            "properties": {"servers": {"type": "array", "items": {"type": "string"}},
              "timeout": {"type": "integer", "default": 5},
              "status": {"type": "string", "readOnly": true},
              "secret": {"type": "string", "sensitive": true}, "note": {"type": "string"}}})");
        Schema(
            "net", "links", "interfaces", R"({"type": "object", "required": ["name"],
            "properties": {"name": {"type": "string"},
                           "mtu": {"type": "integer", "default": 1500}}})",
            R"(,"multiInstance": true, "instanceKey": "name", "reservedInstanceIds": ["mgmt0"])");
        Schema("net", "banners", "motd", R"({"type": "object", "properties": {
            "cs_generated_id": {"type": "string"}, "text": {"type": "string"}}})",
               R"(,"multiInstance": true, "instanceKey": "cs_generated_id")");
        Schema("net", "dns", "cache", R"({"type": "object", "properties": {
            "size": {"type": "integer", "default": 100}}})");
        const char on[] = R"({"type": "object", "properties": {"on": {"type": "boolean"}}})";
        Schema("legacy", "agent", "settings", on, R"(,"integrated": false)");
        Schema("podlet", "system", "podlet_daemon", on, R"(,"integrated": false)");
    }

    // The same configuration as current rows or as desired rows.
    void StoreHost(TarnConfigStore::RowTable table) {
        auto put = [&](const char* c, const char* g, const char* k, const char* id,
                       const char* value) {
            TarnConfigStore::PutRow(connection_, table, {c, g, k, id, value, ""});
        };
        put("net", "dns", "resolver", "",
            R"({"servers":["10.0.0.1"],"timeout":5,"status":"up","secret":"pw","note":null})");
        put("net", "links", "interfaces", "eth0", R"({"name":"eth0","mtu":9000})");
        put("net", "links", "interfaces", "mgmt0", R"({"name":"mgmt0"})");
        put("net", "links", "interfaces", "eth1", R"({"name":"eth1","mtu":1500})");
        put("net", "banners", "motd", "g1", R"({"cs_generated_id":"g1","text":"hi"})");
        put("net", "dns", "cache", "", R"({"size":100})");
        put("legacy", "agent", "settings", "", R"({"on":true})");
        put("podlet", "system", "podlet_daemon", "", R"({"on":true})");
    }

    std::string Processed(DocumentType type) {
        RowList rows = TarnConfigStore::GetUserConfigContents(connection_);
        rapidjson::Document document(rapidjson::kObjectType);
        ProcessConfigMapList(document, rows, TarnSchemaStore::SchemaStore::GetStore(), type,
                             nullptr);
        return Text(document);
    }
};

}  // namespace

TEST_F(ConfigMapList, CurrentAndExportDocumentsAreFilteredAndCleaned) {
    StoreHost(TarnConfigStore::RowTable::kCurrent);
    CSLogger::Capture log;
    EXPECT_EQ(Processed(CURRENT_CONFIG),
              R"({"net":{"dns":{"resolver":{"servers":["10.0.0.1"],"secret":"pw"}},)"
              R"("links":{"interfaces":[{"name":"eth0","mtu":9000},{"name":"eth1"}]},)"
              R"("banners":{"motd":[{"cs_generated_id":"g1","text":"hi"}]}},)"
              R"("podlet":{"system":{"podlet_daemon":{"on":true}}}})");
    EXPECT_TRUE(log.Contains(2,
                             "Configuration for {net/links/interfaces/mgmt0} was not "
                             "extracted, since instance is created by a solution."));
    EXPECT_TRUE(log.Contains(2,
                             "Configuration for {legacy/agent/settings} was not extracted, since "
                             "dspIntegrated=False,"));
    EXPECT_TRUE(log.Contains(2, "Configuration for {net/dns/cache/} was filtered out."));
    // An export masks secrets, drops generated ids and lives under "profile".
    EXPECT_EQ(Processed(EXPORT_CONFIG),
              R"({"profile":{"net":{"dns":{"resolver":{"servers":["10.0.0.1"],)"
              R"("secret":"******"}},)"
              R"("links":{"interfaces":[{"name":"eth0","mtu":9000},{"name":"eth1"}]},)"
              R"("banners":{"motd":[{"text":"hi"}]}},)"
              R"("podlet":{"system":{"podlet_daemon":{"on":true}}}}})");
}

TEST_F(ConfigMapList, DesiredDocumentKeepsDefaultsAndHostReportedValues) {
    StoreHost(TarnConfigStore::RowTable::kDesired);
    EXPECT_EQ(Text(ExtractDesiredConfiguration()),
              R"({"net":{"dns":{"resolver":{"servers":["10.0.0.1"],"timeout":5,"status":"up",)"
              R"("secret":"pw"},"cache":{"size":100}},)"
              R"("links":{"interfaces":[{"name":"eth0","mtu":9000},)"
              R"({"name":"eth1","mtu":1500}]},)"
              R"("banners":{"motd":[{"cs_generated_id":"g1","text":"hi"}]}},)"
              R"("podlet":{"system":{"podlet_daemon":{"on":true}}}})");
}

TEST_F(ConfigMapList, NoRowsGiveAnEmptyDocument) {
    EXPECT_EQ(Processed(CURRENT_CONFIG), "{}");
    EXPECT_EQ(Processed(EXPORT_CONFIG), R"({"profile":{}})");
    EXPECT_EQ(Text(ExtractDesiredConfiguration()), "{}");
}

TEST_F(ConfigMapList, BadRowsFailWithTheirCodeAndLeaveTheStoreAsItWas) {
    StoreHost(TarnConfigStore::RowTable::kCurrent);
    RowList stored = TarnConfigStore::GetUserConfigContents(connection_);
    auto store = TarnSchemaStore::SchemaStore::GetStore();
    auto process = [&](std::shared_ptr<TarnConfigStore::ConfigRow> row) {
        RowList rows = TarnConfigStore::GetUserConfigContents(connection_);
        rows.push_back(std::move(row));
        rapidjson::Document document(rapidjson::kObjectType);
        ProcessConfigMapList(document, rows, store, CURRENT_CONFIG, nullptr);
    };
    ExpectError<InvalidArgumentException>(2080, "Failed to parse JSON String", [&] {
        process(Row("net", "dns", "cache", "", R"({"size":)"));
    });
    ExpectError<ConfigManagerException>(
        2027, "Deleting default configuration for comp net grp dns key cache is not supported.",
        [&] { process(Row("net", "dns", "cache", "", "DELETE_DEFAULT")); });
    ExpectError<SchemaNotFound>(2021, "Schema object not found: comp net grp dns key gone",
                                [&] { process(Row("net", "dns", "gone", "", "{}")); });
    ExpectError<ConfigManagerException>(2180, "Failed to access SchemaStore", [&] {
        RowList rows;
        rapidjson::Document document(rapidjson::kObjectType);
        ProcessConfigMapList(document, rows, nullptr, CURRENT_CONFIG, nullptr);
    });
    RowList after = TarnConfigStore::GetUserConfigContents(connection_);
    ASSERT_EQ(after.size(), stored.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(*after[i], *stored[i]);
    }
}

TEST_F(ConfigMapList, InterleavedKeysEachKeepTheirOwnSchemaAndFilters) {
    RowList rows = {
        Row("net", "links", "interfaces", "eth0", R"({"name":"eth0","mtu":1500})"),
        Row("legacy", "agent", "settings", "", R"({"on":true})"),
        Row("net", "links", "interfaces", "mgmt0", R"({"name":"mgmt0"})"),
        Row("net", "banners", "motd", "mgmt0", R"({"cs_generated_id":"mgmt0","text":"a"})"),
        Row("net", "links", "interfaces", "eth1", R"({"name":"eth1","mtu":9000})"),
        Row("net", "dns", "cache", "", R"({"size":7})"),
    };
    rapidjson::Document document(rapidjson::kObjectType);
    CSLogger::Capture log;
    ProcessConfigMapList(document, rows, TarnSchemaStore::SchemaStore::GetStore(), CURRENT_CONFIG,
                         nullptr);
    // Only the interfaces reserve "mgmt0"; the default mtu goes, the cache size stays.
    EXPECT_EQ(Text(document),
              R"({"net":{"links":{"interfaces":[{"name":"eth0"},{"name":"eth1","mtu":9000}]},)"
              R"("banners":{"motd":[{"cs_generated_id":"mgmt0","text":"a"}]},)"
              R"("dns":{"cache":{"size":7}}}})");
    EXPECT_TRUE(log.Contains(2,
                             "Configuration for {legacy/agent/settings} was not extracted, since "
                             "dspIntegrated=False,"));
}
