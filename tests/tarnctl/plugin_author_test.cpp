// The plugin author's path: the example plugins and manifests of docs/plugins.md and
// docs/manifests.md, taken from their code blocks, checked, applied and extracted; the
// skeleton of tarnctl plugins new; what plugins validate finds beyond the manifest schemas;
// and an apply whose changes no plugin ran, which must not say "Applied".
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "deradidezivizoda/plugins/plugin_manager.h"
#include "json_test_text.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "schema_files.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

namespace fs = std::filesystem;

struct DocFile {
    std::string label;  // the name the page gives it: "apply_modules/system/motd/plugin.py"
    std::string text;
};

// Every fenced code block of a page whose paragraph before names a file in backquotes (the
// last such name in it).
std::vector<DocFile> DocFiles(const std::string& page) {
    std::istringstream lines(ReadFile(TARN_SOURCE_DIR "/docs/" + page));
    static const std::regex kName("`([A-Za-z0-9_./-]+\\.(json|py|cpp))`");
    std::vector<DocFile> files;
    std::string line, paragraph, label;
    bool inBlock = false, blank = false;
    while (std::getline(lines, line)) {
        if (line.rfind("```", 0) == 0) {
            if (!inBlock) {
                label.clear();
                for (std::sregex_iterator it(paragraph.begin(), paragraph.end(), kName), end;
                     it != end; ++it) {
                    label = (*it)[1];
                }
                if (!label.empty()) {
                    files.push_back({label, ""});
                }
            }
            inBlock = !inBlock;
            paragraph.clear();
        } else if (inBlock && !label.empty()) {
            files.back().text += line + "\n";
        } else if (!inBlock) {
            // The paragraph before a block may end in a blank line.
            paragraph = line.empty() ? paragraph : (blank ? "" : paragraph + " ") + line;
        }
        blank = line.empty();
    }
    return files;
}

// Where a file named in a page goes: plugin and schema files into the host root, anything
// else into the test's folder.
std::string PlaceOf(const std::string& label) {
    for (const auto& prefix :
         {std::pair<std::string, std::string>{"apply_modules/", TarnPaths::kPluginDir},
          {"schemas/", TarnPaths::kSchemaDir}}) {
        if (label.rfind(prefix.first, 0) == 0) {
            return prefix.second + label.substr(prefix.first.size());
        }
    }
    return TARN_BINARY_DIR "/tests/tarnctl/" + label;
}

// The page's indented command that starts with start, continuation lines joined.
std::string DocCommand(const std::string& page, const std::string& start) {
    std::istringstream lines(ReadFile(TARN_SOURCE_DIR "/docs/" + page));
    std::string line, command;
    while (std::getline(lines, line)) {
        if (command.empty() && line.rfind("    " + start, 0) != 0) {
            continue;
        }
        command += line.substr(line.find_first_not_of(' '));
        if (command.back() != '\\') {
            return command;
        }
        command.pop_back();
    }
    return command;
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
}

// Runs a shell command with a time limit; its exit status.
int Shell(const std::string& command) {
    return WEXITSTATUS(std::system(("timeout 600 sh -c '" + command + "'").c_str()));
}

// A host with the runners and manifest schemas, and no key or value of its own.
class PluginAuthor : public HostRootTest {
protected:
    void SetUp() override {
        HostRootTest::SetUp();
        InstallManifestSchemas();
        InstallPluginRunners();
    }
};

TEST_F(PluginAuthor, TheGuidesExamplesApplyAndExtractInBothLanguages) {
    std::vector<DocFile> files = DocFiles("plugins.md");
    std::string desired;
    for (const DocFile& file : files) {
        WriteFile(PlaceOf(file.label), file.text);
        if (file.label == "desired.json") {
            desired = PlaceOf(file.label);
        }
    }
    ASSERT_EQ(files.size(), 7u) << "two schemas, two manifests, two plugins, one document";
    ASSERT_FALSE(desired.empty());

    // The C++ example, built with the page's own command.
    std::string build = DocCommand("plugins.md", "g++ ");
    ASSERT_NE(build.find("timezone.cpp"), std::string::npos) << build;
    Replace(build, "g++", CXX_COMPILER);
    Replace(build, "<source>", TARN_SOURCE_DIR);
    Replace(build, "timezone.cpp", PlaceOf("apply_modules/system/time/timezone/timezone.cpp"));
    Replace(build, "-o libsystem", "-o " + PlaceOf("apply_modules/system/time/timezone/libsystem"));
    ASSERT_EQ(Shell(build), 0) << build;

    TarnctlResult run = RunTarnctl({"plugins", "validate"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    run = RunTarnctl({"--json", "apply", "--yes", desired});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(ApplyOutcome(run.out), R"({"result":"applied","impact":"none","status":0})");
    EXPECT_EQ(ReadFile(RootPath("etc/motd")), "Authorised use only.\n");
    EXPECT_EQ(ReadFile(RootPath("etc/timezone")), "Europe/Oslo\n");

    run = RunTarnctl({"compliance", desired});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    run = RunTarnctl({"--json", "extract", "current"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    rapidjson::Document current = ParseJson(run.out);
    EXPECT_EQ(JsonText(current["system"]["login"]), R"({"motd":{"text":"Authorised use only."}})");
    EXPECT_EQ(JsonText(current["system"]["time"]), R"({"timezone":{"zone":"Europe/Oslo"}})");
}

TEST_F(PluginAuthor, TheManifestExamplesConformAndOrderTheirTaskKeys) {
    for (const DocFile& file : DocFiles("manifests.md")) {
        if (file.label.rfind("apply_modules/", 0) == 0) {
            WriteFile(PlaceOf(file.label), file.text);
        }
    }
    for (const char* key : {"servers", "search"}) {
        InstallKeySchema("net", "dns", key, R"({"type": "string"})", "");
    }
    InstallKeySchema("net", "vlan", "ids", R"({"type": "string"})", "");
    InstallKeySchema("tarn", "system", "ntp", R"({"type": "string"})", "");
    TarnctlResult run = RunTarnctl({"plugins", "validate"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;

    std::vector<std::string> order =
        TarnConfigManager::PluginManager(TarnConfigManager::APPLY).GetDependencies();
    auto at = [&order](const std::string& name) {
        return std::find(order.begin(), order.end(), name) - order.begin();
    };
    EXPECT_LT(at("ADD:net"), at("SET:net"));
    EXPECT_LT(at("SET:net"), at("SET:dns"));
    EXPECT_LT(at("SET:dns"), at("REMEDIATE:tarn:system:ntp"));
    EXPECT_LT(at("REMEDIATE:tarn:system:ntp"), static_cast<long>(order.size()));
}

TEST_F(PluginAuthor, ValidateFindsWhatTheSchemasCannotSay) {
    InstallKeySchema("net", "dns", "resolver", R"({"type": "string"})", "");
    InstallManifest("lost/tags",
                    R"({"version": 2, "type": "python", "accepts": ["net:dns:resolver"],
        "apply": {"apply_group": "system", "boot": false, "operations": {
            "set": {"provides": "SET:lost:tags", "depends": []},
            "other": {"provides": "resolver", "depends": []}}}})");
    InstallManifest("a/b/c", R"({"version": 3, "type": "java",
        "apply": {"apply_group": "system", "boot": false,
                  "REMEDIATE": {"provides": "REMEDIATE:a:b:c", "depends": []}}})");
    TarnctlResult run = RunTarnctl({"--json", "plugins", "validate"});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    ASSERT_EQ(out["findings"].Size(), 2u) << run.out;
    std::vector<std::string> problems;
    for (const auto& finding : out["findings"].GetArray()) {
        std::string file = finding["file"].GetString();
        for (const auto& error : finding["validation_errors"].GetArray()) {
            problems.push_back(std::string(error["field"].GetString()).substr(file.size()) + " " +
                               JsonText(error["errArgs"]));
        }
    }
    EXPECT_EQ(problems, (std::vector<std::string>{
                            R"(/type ["java"])",
                            R"( ["a:b:c",")" + std::string(TarnPaths::kSchemaDir) + R"("])",
                            R"(/apply/operations/other/provides ["resolver",)"
                            R"("ADD:lost:tags, SET:lost:tags or DELETE:lost:tags"])"}))
        << run.out;

    // The same tree checked before it is installed: its folder stands for the plugin
    // directory, so the ids are the same.
    std::string outside = TARN_BINARY_DIR "/tests/tarnctl/plugin-tree";
    fs::remove_all(outside);
    fs::copy(TarnPaths::kPluginDir, outside, fs::copy_options::recursive);
    run = RunTarnctl({"plugins", "validate", outside});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.out.find("Provides resolver, a tag no change runs under"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("SET:lost:tags,"), run.out.rfind("SET:lost:tags,")) << run.out;
}

TEST_F(PluginAuthor, ApplyNamesTheObjectsNoPluginApplied) {
    InstallKeySchema("net", "dns", "resolver", R"({"type": "object", "properties": {
        "servers": {"type": "array", "items": {"type": "string"}}}})",
                     "");
    const std::string resolver = R"({"net": {"dns": {"resolver": {"servers": ["10.9.9.9"]}}}})";
    InstallManifest("net/dns", R"({"version": 2, "type": "python", "accepts": ["net:dns:resolver"],
        "apply": {"apply_group": "network", "boot": false, "operations": {
            "set": {"provides": "resolver", "depends": []}}}})");
    TarnctlResult run = RunTarnctl({"--json", "apply", "--yes", DocumentFile(resolver)});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_STREQ(out["result"].GetString(), "not-applied");
    EXPECT_EQ(JsonText(out["unapplied"]), R"(["net:dns:resolver:"])");
    EXPECT_NE(run.err.find("apply.plugin.unordered SET:net:dns net:dns:resolver:"),
              std::string::npos)
        << run.err;

    std::filesystem::remove_all(RootPath("usr/lib/corvid/configmanager/apply_modules/net"));
    run = RunTarnctl({"apply", "--yes", DocumentFile(resolver)});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("Did not apply all of"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n  net:dns:resolver:\n"), std::string::npos) << run.out;
}

TEST_F(PluginAuthor, PluginsNewWritesAPythonPluginThatApplies) {
    TarnctlResult run = RunTarnctl({"plugins", "new", "--lang", "python", "site/tools/banner"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = RunTarnctl({"plugins", "validate"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    std::string document = DocumentFile(R"({"site": {"tools": {"banner": {"value": "hi"}}}})");
    run = RunTarnctl({"--json", "apply", "--yes", document});
    EXPECT_EQ(ApplyOutcome(run.out), R"({"result":"applied","impact":"none","status":0})")
        << run.err;
    EXPECT_EQ(RunTarnctl({"compliance", document}).exitCode, 0);

    // A second run, or a bad key, writes nothing.
    run = RunTarnctl({"plugins", "new", "--lang", "c++", "site/tools/banner"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("exists already"), std::string::npos) << run.err;
    EXPECT_FALSE(
        PathExists(RootPath("usr/lib/corvid/configmanager/apply_modules/site/tools/"
                            "banner/plugin.cpp")));
    EXPECT_EQ(RunTarnctl({"plugins", "new", "--lang", "python", "site/tools"}).exitCode, 1);
}

}  // namespace
}  // namespace TarnTest
