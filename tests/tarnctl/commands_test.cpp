// tarnctl extract, plugins and host: output that parses and says what the library says, the
// maintenance-mode state file, and the command line itself (help, misuse).
#include <gtest/gtest.h>

#include <filesystem>

#include "deradidezivizoda/plugins/plugin_manager.h"
#include "deradidezivizoda/plugins/plugin_schema_check.h"
#include "json_test_text.h"
#include "plugin_files.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

using Commands = TarnctlTest;

TEST_F(Commands, ExtractPrintsEachConfigurationAsADocument) {
    const char* current = R"({"net":{"dns":{"resolver":{"servers":["10.0.0.1"]}}}})";
    TarnctlResult run = RunTarnctl({"extract", "current"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find('\n'), run.out.size() - 1) << "indented for people";
    EXPECT_EQ(JsonText(ParseJson(run.out)), current);
    run = RunTarnctl({"extract", "current", "--json"});
    EXPECT_EQ(run.out, std::string(current) + "\n");

    EXPECT_EQ(RunTarnctl({"--json", "extract", "desired"}).out, "{}\n");
    TarnConfigStore::PutSmartnicRow(connection_, "net", "dns", "resolver", "",
                                    R"({"servers":["10.1.1.1"]})");
    run = RunTarnctl({"--json", "extract", "smartnic"});
    EXPECT_EQ(run.out, R"({"net":{"dns":{"resolver":{"servers":["10.1.1.1"]}}}})"
                       "\n");

    run = RunTarnctl({"extract", "everything"});
    EXPECT_EQ(run.exitCode, 1);
}

// What each reader of manifests makes of the plugin directory: the plugins the library loads
// for apply work (or "throws"), the findings of the directory check, and the exit statuses of
// plugins list and plugins validate.
std::string ManifestReaders() {
    std::string loaded = "throws";
    try {
        loaded = std::to_string(
            TarnConfigManager::PluginManager(TarnConfigManager::APPLY).GetPlugins().size());
    } catch (const std::exception&) {
    }
    rapidjson::Document findings;
    ValidateAllPlugins(TarnPaths::kPluginDir, TarnPaths::kPluginSchemaDir, findings);
    return loaded + " " + std::to_string(findings.Size()) + " " +
           std::to_string(RunTarnctl({"plugins", "list"}).exitCode) + " " +
           std::to_string(RunTarnctl({"plugins", "validate"}).exitCode);
}

// A link to a manifest and a link to a folder below the plugin directory are skipped alike
// by all of them; the same manifest as a real file is seen by all of them.
TEST_F(Commands, EveryManifestReaderSkipsSymbolicLinks) {
    namespace fs = std::filesystem;
    InstallProbePlugin("ok");
    const fs::path plugins = TarnPaths::kPluginDir;
    const std::string outside = RootPath("elsewhere/linked");
    WriteFile(outside + "/manifest.json", R"({"version": 2, "type": "python"})");
    fs::create_directories(plugins / "viafile");
    fs::create_symlink(outside + "/manifest.json", plugins / "viafile" / "manifest.json");
    fs::create_symlink(outside, plugins / "viafolder");
    EXPECT_EQ(ManifestReaders(), "1 0 0 0");

    fs::remove(plugins / "viafile" / "manifest.json");
    fs::copy_file(outside + "/manifest.json", plugins / "viafile" / "manifest.json");
    EXPECT_EQ(ManifestReaders(), "throws 1 1 2");

    fs::remove_all(plugins / "viafile");
    fs::remove(plugins / "viafolder");
    fs::copy(outside, plugins / "viafolder");
    EXPECT_EQ(ManifestReaders(), "throws 1 1 2");
}

TEST_F(Commands, PluginsListShowsEachManifestAndFailsOnABrokenOne) {
    InstallProbePlugin("ok");
    TarnctlResult run = RunTarnctl({"--json", "plugins", "list"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    ASSERT_EQ(out["plugins"].Size(), 1u) << run.out;
    const rapidjson::Value& plugin = out["plugins"][0];
    EXPECT_STREQ(plugin["id"].GetString(), "pythontest:ok");
    EXPECT_STREQ(plugin["language"].GetString(), "python");
    EXPECT_EQ(JsonText(plugin["work"]), R"(["apply","extract","impact","validate"])");
    EXPECT_EQ(JsonText(plugin["keys"]), R"(["testing/plugins/probe"])");
    EXPECT_EQ(JsonText(out["errors"]), "[]");

    std::string broken = InstallManifest("broken", R"({"version": 2, "type": "python"})");
    run = RunTarnctl({"plugins", "list"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("pythontest:ok  python    2"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(broken), std::string::npos) << run.err;
    // A manifest that does not parse is named once, with the place it fails at.
    std::string unparsable = InstallManifest("unparsable", "{\"version\": 2,\n  \"type\" python}");
    run = RunTarnctl({"plugins", "list"});
    EXPECT_NE(run.err.find("tarnctl: " + unparsable +
                           ":2:10: Missing a colon after a name of object member. (error 2080"),
              std::string::npos)
        << run.err;
    std::filesystem::remove_all(std::filesystem::path(unparsable).parent_path());

    run = RunTarnctl({"--json", "plugins", "validate"});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    out = ParseJson(run.out);
    ASSERT_EQ(out["findings"].Size(), 1u) << run.out;
    EXPECT_EQ(std::string(out["findings"][0]["file"].GetString()).find("/broken/manifest.json"),
              std::string(out["findings"][0]["file"].GetString()).size() - 21);
    run = RunTarnctl({"plugins", "validate",
                      RootPath("usr/lib/corvid/configmanager/"
                               "apply_modules/pythontest")});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

TEST_F(Commands, HostShowAndMaintenanceMode) {
    TarnctlResult run = RunTarnctl({"--json", "host", "show"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(JsonText(ParseJson(run.out)),
              R"({"biosUuid":"4c4c4544-0042-3510-8052-b4c04f503232","maintenanceMode":false,)"
              R"("quickBoot":"unsupported","quickBootStatus":0})");

    run = RunTarnctl({"host", "maintenance", "enter"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(TarnPaths::kMaintenanceModeFile), "1\n");
    run = RunTarnctl({"host", "show"});
    EXPECT_NE(run.out.find("maintenance mode  on"), std::string::npos) << run.out;
    EXPECT_EQ(RunTarnctl({"--json", "host", "maintenance", "exit"}).out,
              "{\"maintenanceMode\":false}\n");

    // A host whose kernel interface does not match cannot report the mode it was given.
    WriteFile(TarnPaths::kKernelSignatureFile, "20\n");
    run = RunTarnctl({"host", "maintenance", "enter"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("still reports maintenance mode off"), std::string::npos) << run.err;
}

TEST_F(Commands, HelpOnEverySubcommandAndMisuseExitsOne) {
    for (auto args : std::vector<std::vector<std::string>>{{"--help"},
                                                           {"compliance", "--help"},
                                                           {"extract", "smartnic", "--help"},
                                                           {"host", "maintenance", "--help"}}) {
        TarnctlResult run = RunTarnctl(args);
        EXPECT_EQ(run.exitCode, 0) << args[0];
        EXPECT_NE(run.out.find("Usage: "), std::string::npos) << run.out;
    }
    EXPECT_EQ(RunTarnctl({}).exitCode, 1);
    EXPECT_EQ(RunTarnctl({"compliance"}).exitCode, 1);
    EXPECT_EQ(RunTarnctl({"compliance", "a.json", "--frobnicate"}).exitCode, 1);
}

}  // namespace
}  // namespace TarnTest
