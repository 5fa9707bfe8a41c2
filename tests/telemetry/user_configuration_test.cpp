// ExtractUserConfiguration over the SQLite store: the export view against the processing of
// the current rows, and the telemetry view's allowlists, notice and bad allowlists.
#include <gtest/gtest.h>

#include <filesystem>

#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/extract/config_map_list.h"
#include "deradidezivizoda/extract/extract_plugins.h"
#include "deradidezivizoda/extract/extract_user_configuration.h"
#include "deradidezivizoda/extract/mutable_default.h"
#include "expect_store_error.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/logger/cs_logger.h"
#include "user_host.h"

using namespace TarnConfigManager;
using namespace TelemetryTest;
using ExtractTest::Text;

namespace {

// The lines from the mutable-default processing on, priority and text.
std::vector<std::string> LinesFromMutableDefaults(const CSLogger::Capture& log) {
    std::vector<std::string> lines;
    for (const CSLogger::Line& line : log.Lines()) {
        if (!lines.empty() || line.text == "ProcessMutableDefaultConfig invoked") {
            lines.push_back(std::to_string(line.priority) + " " + line.text);
        }
    }
    return lines;
}

struct Reference {
    std::string text;
    std::vector<std::string> lines;
};

class UserConfiguration : public UserHost {
protected:
    // What the row-map functions make of the store's user rows (merged with the extract
    // plugins' rows when asked), and the lines they log from the mutable-default processing
    // on: what the export's own reading of the rows must equal.
    Reference RowMapExport(bool withPlugins) {
        CSLogger::Capture log;
        RowList rows = TarnConfigStore::GetUserConfigContents(connection_);
        std::shared_ptr<ExtractionData> extracted;
        if (withPlugins) {
            extracted = RunExtractPlugins();
            MergeExtractedConfig(rows, extracted);
        }
        auto store = TarnSchemaStore::SchemaStore::GetStore();
        ProcessMutableDefaultConfig(rows, connection_, store, false);
        rapidjson::Document document(rapidjson::kObjectType);
        ProcessConfigMapList(document, rows, store, EXPORT_CONFIG, extracted);
        return {Text(document), LinesFromMutableDefaults(log)};
    }
};

std::string Notice() {
    return std::string(R"([{"telemetry_data":")") + TelemetryNoticeText() + "\"}]";
}

}  // namespace

TEST_F(UserConfiguration, ExportEqualsProcessingOfUserRowsAfterMutableDefaults) {
    Populate();
    std::string expected = RowMapExport(false).text;
    EXPECT_EQ(Text(ExtractUserConfiguration(EXPORT_CONFIG)), expected);
    // Generated ids dropped, defaults dropped, the reserved instance left out, secret masked.
    EXPECT_EQ(expected, R"({"profile":{"net":{"links":{"interfaces":[{"name":"eth0","mtu":9000},)"
                        R"({"name":"eth1"}]},"dns":{"resolver":{"servers":["10.0.0.1"]}}},)"
                        R"("security":{"login":{"banners":[{"text":"hi"},{"text":"yo"}]},)"
                        R"("accounts":{"service":{"user":"svc","password":"******"}}}}})");
}

// With an extract plugin serving a key the store also has rows of: the plugin's rows replace
// the store's, come after the other store rows and before the changed mutable-default key, and
// the lines of the processing are those of the row-map functions, in their order.
TEST_F(UserConfiguration, ExportWithExtractPluginEqualsProcessingOfMergedRows) {
    Populate();
    TarnTest::InstallManifestSchemas();
    TarnTest::InstallPluginRunners();
    TarnTest::InstallExtractTestPlugin("exporttest/links", R"({"version": 2,
        "type": "python", "accepts": ["net:links:interfaces"], "extract": {"supports": true}})");
    auto [expected, expectedLines] = RowMapExport(true);
    CSLogger::Capture log;
    EXPECT_EQ(Text(ExtractUserConfiguration(EXPORT_CONFIG)), expected);
    EXPECT_EQ(LinesFromMutableDefaults(log), expectedLines);
    EXPECT_EQ(expected, R"({"profile":{"security":{"login":{"banners":[{"text":"hi"},)"
                        R"({"text":"yo"}]},"accounts":{"service":{"user":"svc",)"
                        R"("password":"******"}}},"net":{"links":{"interfaces":[)"
                        R"({"name":"eth0","mtu":9000},{"name":"eth1"}]},)"
                        R"("dns":{"resolver":{"servers":["10.0.0.1"]}}}}})");
}

// Rows of two mutable-default keys between each other and other rows: their lines keep the
// store's order of the rows, not an order by key.
TEST_F(UserConfiguration, InterleavedMutableDefaultRowsKeepTheirOrder) {
    Schema("net", "routes", "static",
           R"({"type": "object", "properties": {"to": {"type": "string"}}})",
           R"(,"mutableDefault": true, "multiInstance": true, "instanceKey": "to")");
    TarnConfigStore::PutDefaultRow(connection_, "net", "routes", "static", "0/0",
                                   R"({"to":"0/0"})");
    Current("net", "routes", "static", "a", R"({"to":"a"})");
    TarnConfigStore::DeleteRows(connection_, TarnConfigStore::RowTable::kCurrent,
                                {"resolver", "dns", "net"});
    Populate();
    Current("net", "routes", "static", "b", R"({"to":"b"})");
    auto [expected, expectedLines] = RowMapExport(false);
    CSLogger::Capture log;
    EXPECT_EQ(Text(ExtractUserConfiguration(EXPORT_CONFIG)), expected);
    std::vector<std::string> lines = LinesFromMutableDefaults(log);
    EXPECT_EQ(lines, expectedLines);
    ASSERT_GE(lines.size(), 4u);
    std::vector<std::string> found(lines.begin() + 1, lines.begin() + 4);
    const std::string prefix = "0 Configuration found for mutableDefaultConfig schema ";
    EXPECT_EQ(found, (std::vector<std::string>{prefix + "comp net grp routes key static",
                                               prefix + "comp net grp dns key resolver",
                                               prefix + "comp net grp routes key static"}));
}

TEST_F(UserConfiguration, KeyEqualToItsMutableDefaultIsAbsentFromEveryView) {
    AllowEverything();
    EXPECT_EQ(Text(ExtractUserConfiguration(EXPORT_CONFIG)), R"({"profile":{}})");
    EXPECT_EQ(Text(ExtractUserConfiguration(TELEMETRY_CONFIG)), R"({"profile":{}})");
}

TEST_F(UserConfiguration, TelemetryKeepsOnlyAllowlistedKeysOfJsonFiles) {
    Populate();
    // Nothing allowlisted yet: no key at all.
    EXPECT_EQ(Text(ExtractUserConfiguration(TELEMETRY_CONFIG)), R"({"profile":{}})");
    // Neither a file of another extension nor a folder named like an allowlist counts.
    Allowlist("ignored.txt", R"(["net.dns.resolver"])");
    std::filesystem::create_directories(std::string(TarnPaths::kTelemetryDir) + "folder.json");
    EXPECT_EQ(Text(ExtractUserConfiguration(TELEMETRY_CONFIG)), R"({"profile":{}})");
    Allowlist("net.json", R"(["net.links.interfaces", "net.links.interfaces"])");
    CSLogger::Capture log;
    EXPECT_EQ(Text(ExtractUserConfiguration(TELEMETRY_CONFIG)),
              R"({"profile":{"net":{"links":{"interfaces":[{"name":"eth0","mtu":9000},)"
              R"({"name":"eth1"}]}}}})");
    std::string path = std::string(TarnPaths::kTelemetryDir) + "net.json";
    EXPECT_TRUE(log.Contains(3, "Loaded configIDs from " + path));
    EXPECT_TRUE(log.Contains(3,
                             "Configuration for {net/links/interfaces/lo} was not extracted, "
                             "since instance is created by a solution."));
}

TEST_F(UserConfiguration, TelemetryDisabledKeyAppearsOnceWithTheNoticeAndSecretsAreDropped) {
    Populate();
    Current("security", "login", "banners", "b3", R"({"cs_generated_id":"b3","text":"x"})");
    AllowEverything();
    std::string text = Text(ExtractUserConfiguration(TELEMETRY_CONFIG));
    // Mutable-default keys come last: their rows are taken out and appended back.
    EXPECT_EQ(text, R"({"profile":{"net":{"links":{"interfaces":[{"name":"eth0","mtu":9000},)"
                    R"({"name":"eth1"}]},"dns":{"resolver":{"servers":["10.0.0.1"]}}},)"
                    R"("security":{"accounts":{"service":{"user":"svc"}},)"
                    R"("login":{"banners":)" +
                        Notice() + "}}}}");
    EXPECT_EQ(text.find(kCanary), std::string::npos);
}

TEST_F(UserConfiguration, BadAllowlistsFail) {
    Populate();
    for (const char* text : {R"({"ids": ["net.dns.resolver"]})", R"(["net.dns.resolver", 7])"}) {
        Allowlist("bad.json", text);
        ExpectStoreError(1082, [] { ExtractUserConfiguration(TELEMETRY_CONFIG); }, {});
    }
    Allowlist("bad.json", "[\"net.dns.resolver\"");
    ExpectStoreError(2000, [] { ExtractUserConfiguration(TELEMETRY_CONFIG); }, {"bad.json"});
    std::filesystem::remove_all(TarnPaths::kTelemetryDir);
    EXPECT_THROW(ExtractUserConfiguration(TELEMETRY_CONFIG), std::filesystem::filesystem_error);
    // The export view never reads the allowlists.
    EXPECT_NO_THROW(ExtractUserConfiguration(EXPORT_CONFIG));
}
