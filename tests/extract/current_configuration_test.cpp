// The current configuration end to end: SSH files, extract plugins run through the Python
// runner, store rows, mutable defaults and cleanup.
#include <gtest/gtest.h>

#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "deradidezivizoda/extract/extract_plugins.h"
#include "extract_fixture.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "tarn/logger/cs_logger.h"

using namespace TarnConfigManager;
using namespace ExtractTest;

namespace {

const char kLinksManifest[] = R"({"version": 2, "type": "python",
    "accepts": ["net:links:interfaces"], "extract": {"supports": true}})";

class CurrentConfiguration : public ExtractionTest {
protected:
    void SetUp() override {
        ExtractionTest::SetUp();
        TarnTest::InstallManifestSchemas();
        TarnTest::InstallPluginRunners();
        Schema("net", "links", "interfaces", R"({"type": "object", "required": ["name"],
            "properties": {"name": {"type": "string"},
                           "mtu": {"type": "integer", "default": 1500}}})",
               R"(,"multiInstance": true, "instanceKey": "name")");
        Schema("net", "dns", "resolver", R"({"type": "object", "required": ["servers"],
            "properties": {"servers": {"type": "array", "items": {"type": "string"}}}})",
               R"(,"mutableDefault": true)");
        for (const char* key : {"server_config", "client_config", "authorized_keys"}) {
            TarnTest::InstallKeySchema(
                "tarn", "ssh", key,
                TarnTest::ReadFile(std::string(TARN_SOURCE_DIR) +
                                   "/platform/sablectl/schemas/tarn/ssh/" + key + ".json"));
        }
    }

    static void InstallPlugin(const std::string& kind) {
        TarnTest::InstallExtractTestPlugin("extracttest/" + kind, kLinksManifest);
    }
};

}  // namespace

TEST_F(CurrentConfiguration, CombinesFilesPluginsAndStoreRows) {
    InstallPlugin("links");
    TarnTest::WriteFile("etc/ssh/sshd_config", "PermitRootLogin no\n");
    Current("net", "links", "interfaces", "old0", R"({"name":"old0"})");
    Current("net", "dns", "resolver", "", "{}", R"({"servers":["10.0.0.1"]})");
    TarnConfigStore::PutDefaultRow(connection_, "net", "dns", "resolver", "",
                                   R"({"servers":["10.0.0.53"]})");
    CSLogger::Capture log;
    EXPECT_EQ(Text(ExtractCurrentConfiguration()),
              R"({"net":{"dns":{"resolver":{"servers":["10.0.0.1"]}},)"
              R"("links":{"interfaces":[{"name":"eth0","mtu":9000},{"name":"eth1"}]}},)"
              R"("tarn":{"ssh":{"server_config":{"settings":[{"keyword":"PermitRootLogin",)"
              R"("values":["no"]}],)"
              R"("blocks":[]}}}})");
    EXPECT_TRUE(log.Contains(3, "ExtractCurrentConfiguration invoked"));
    // The SSH files went into the store; the plugin's objects did not.
    RowList stored = TarnConfigStore::GetUserConfigContents(connection_);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0]->at("Identifier"), "old0");
    EXPECT_EQ(stored[2]->at("Name"), "server_config");
}

TEST_F(CurrentConfiguration, FailingPluginNamesItself) {
    InstallPlugin("fails");
    CSLogger::Capture log;
    try {
        RunExtractPlugins();
        ADD_FAILURE() << "no exception";
    } catch (const ConfigManagerException& error) {
        EXPECT_EQ(error.GetCode(), 2031);
        EXPECT_STREQ(error.what(), "Extract plugin failed: extracttest:fails");
        // The plugin's own error travels along as the cause.
        ASSERT_NE(error.GetCause(), nullptr);
        EXPECT_EQ(error.GetCause()->id, "test.extract.failed");
        EXPECT_EQ(error.GetCause()->args, std::vector<std::string>{"extracttest:fails"});
    }
    EXPECT_TRUE(log.Contains(0, "Extract plugin failed: extracttest:fails"));
}

TEST_F(CurrentConfiguration, InvalidObjectsFromEveryPluginAreNamedTogether) {
    InstallPlugin("invalid");
    InstallPlugin("links");
    ExpectError<ConfigManagerException>(2031, "Extract plugin failed: extracttest:invalid",
                                        [] { RunExtractPlugins(); });
    InstallPlugin("alsoinvalid");
    InstallPlugin("links");
    CSLogger::Capture log;
    try {
        RunExtractPlugins();
        ADD_FAILURE() << "no exception";
    } catch (const ConfigManagerException& error) {
        EXPECT_EQ(error.GetCode(), 2031);
        std::string message = error.what();
        EXPECT_TRUE(message ==
                        "Extract plugin failed: extracttest:invalid,extracttest:alsoinvalid" ||
                    message == "Extract plugin failed: extracttest:alsoinvalid,extracttest:invalid")
            << message;
    }
    EXPECT_TRUE(log.Contains(0, "Extract plugin returned invalid configs: extracttest:invalid"));
    EXPECT_TRUE(
        log.Contains(0, "Extract plugin returned invalid configs: extracttest:alsoinvalid"));
}
