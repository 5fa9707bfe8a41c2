// tarnctl's command line itself: documents that do not parse reported where they fail, a
// document from standard input, the nearest name for a mistyped command, the version, quiet
// runs, and the man page and bash completion the build writes from the option definitions.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

#include "json_test_text.h"
#include "schema_files.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

using CommandLine = TarnctlTest;

const char kParseErrorId[] = "com.corvid.tarn.settings.configmanager.parse-error";

// The names of the subcommands `tarnctl [words] --help` lists.
std::vector<std::string> HelpSubcommands(std::vector<std::string> words) {
    words.push_back("--help");
    std::istringstream help(RunTarnctl(words).out);
    std::vector<std::string> names;
    std::string line;
    bool listing = false;
    while (std::getline(help, line)) {
        if (line == "Subcommands:") {
            listing = true;
        } else if (listing && line.rfind("  ", 0) == 0) {
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
        } else {
            listing = false;
        }
    }
    return names;
}

// What bash prints for script, run in folder with the completion script sourced.
std::string RunBash(const std::string& folder, const std::string& script) {
    std::string path = folder + "/script.bash";
    WriteFile(path, "source '" TARNCTL_COMPLETION "'\ncd '" + folder + "'\n" + script);
    std::string command = "timeout 60 bash '" + path + "' 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0) {
        out.append(chunk, got);
    }
    EXPECT_EQ(pclose(pipe), 0) << out;
    return out;
}

TEST_F(CommandLine, DocumentsThatDoNotParseAreReportedWhereTheyFail) {
    std::string folder = DocumentFile("") + ".d";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/folder.json");
    WriteFile(folder + "/syntax.json", "{\"net\": {\n  \"dns\": [1,\n\t2,,]}}");
    WriteFile(folder + "/empty.json", "");
    struct Case {
        std::string path;
        std::string message;
    } cases[] = {
        {folder + "/syntax.json", ":3:4: Invalid value."},
        {folder + "/empty.json", ": The file is empty."},
        {folder + "/folder.json", ": The path names a folder, not a file."},
        {folder + "/missing.json", ": The file cannot be opened: No such file or directory."}};
    for (const Case& c : cases) {
        for (const char* command : {"compliance", "validate", "impact", "apply"}) {
            TarnctlResult run = RunTarnctl({command, c.path});
            EXPECT_EQ(run.exitCode, 1) << command;
            EXPECT_EQ(run.err,
                      "tarnctl: " + c.path + c.message + " (error 2080, " + kParseErrorId + ")\n")
                << command;
            EXPECT_EQ(run.out, "");
        }
    }
    TarnctlResult run = RunTarnctl({"--json", "compliance", "-"}, "{\"net\":\n  }");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(JsonText(ParseJson(run.out)),
              std::string(R"({"error":{"code":2080,"id":")") + kParseErrorId +
                  R"(","message":"<stdin>:2:3: Invalid value.","args":["<stdin>"],)"
                  R"("file":"<stdin>","line":2,"column":3}})");
}

TEST_F(CommandLine, ADocumentFromStandardInput) {
    std::string drifted = ResolverDocument(R"(["10.0.0.9"])");
    // tarnctl extract current | tarnctl compliance -
    TarnctlResult run = RunTarnctl({"compliance", "-"}, RunTarnctl({"extract", "current"}).out);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "The host is compliant with <stdin>.\n");
    EXPECT_EQ(RunTarnctl({"impact", "-"}, drifted).exitCode, 2);
    EXPECT_EQ(RunTarnctl({"validate", "-"}, ResolverDocument("7")).exitCode, 2);
    // apply asks its question on standard input, which the document already took.
    run = RunTarnctl({"apply", "-"}, drifted);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("add --yes"), std::string::npos) << run.err;
    // The test host has no apply plugin: the document is read, and nothing applies it.
    run = RunTarnctl({"apply", "--yes", "-"}, drifted);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out.rfind("Did not apply all of <stdin>", 0), 0u) << run.out;
    run = RunTarnctl({"compliance", "-"}, "[]");
    EXPECT_EQ(run.err,
              "tarnctl: error: <stdin> holds no JSON object; a configuration document "
              "is one\n");
}

TEST_F(CommandLine, AMistypedCommandGetsTheNearestName) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {{{"complance", "doc.json"},
                  "'complance' is not a command of tarnctl; did you mean 'compliance'?"},
                 {{"--json", "aplpy", "doc.json"},
                  "'aplpy' is not a command of tarnctl; did you mean 'apply'?"},
                 {{"host", "maintanance", "enter"},
                  "'maintanance' is not a command of tarnctl host; did you mean 'maintenance'?"},
                 {{"plug"}, "'plug' is not a command of tarnctl; did you mean 'plugins'?"},
                 {{"extract", "everything"},
                  "'everything' is not a command of tarnctl extract; the commands are current, "
                  "desired, smartnic"}};
    for (const Case& c : cases) {
        TarnctlResult run = RunTarnctl(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.args[0];
        EXPECT_EQ(run.err, "tarnctl: " + c.err + "\n");
    }
}

TEST_F(CommandLine, VersionNamesTheLibraryItRunsWith) {
    TarnctlResult run = RunTarnctl({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(
        run.out, parts,
        std::regex(
            R"(tarnctl (\d+)\.\d+\.\d+\nlibrary \1\.\d+\.\d+ \((libderadidezivizoda\.so\.\1)\)\n)")))
        << run.out;
    // The SONAME is the name of the library the build made.
    EXPECT_TRUE(std::filesystem::exists(std::string(TARN_BINARY_DIR "/src/") + parts[2].str()));
}

TEST_F(CommandLine, QuietPrintsOnlyErrorsAndJson) {
    std::string same = DocumentFile(ResolverDocument(R"(["10.0.0.1"])"));
    TarnctlResult run = RunTarnctl({"-q", "compliance", same});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out + run.err, "");
    // Without an apply plugin the apply fails, and says so also when quiet.
    run = RunTarnctl({"apply", "--quiet", "--yes", DocumentFile(ResolverDocument("[]"))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no plugin applied 1 changed object(s)"), std::string::npos) << run.err;
    run = RunTarnctl({"-q", "compliance", same});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out + run.err, "");
    run = RunTarnctl({"-q", "--json", "compliance", same});
    EXPECT_EQ(run.out.rfind("{\"compliant\":false,", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
    run = RunTarnctl({"-q", "compliance", same + ".missing"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("The file cannot be opened"), std::string::npos) << run.err;
}

TEST_F(CommandLine, TheManPageDescribesEveryCommand) {
    std::string page = ReadFile(TARNCTL_MAN_PAGE);
    EXPECT_EQ(page.rfind(".TH TARNCTL 8 ", 0), 0u);
    std::vector<std::string> commands = HelpSubcommands({});
    ASSERT_GE(commands.size(), 7u);
    for (const std::string& command : commands) {
        std::vector<std::string> below = HelpSubcommands({command});
        if (below.empty()) {
            below.push_back("");
        }
        for (const std::string& subcommand : below) {
            std::string name = "tarnctl " + command + (subcommand.empty() ? "" : " " + subcommand);
            std::string escaped = std::regex_replace(name, std::regex("-"), "\\-");
            EXPECT_NE(page.find(".SS \"" + escaped), std::string::npos) << name;
        }
    }
    EXPECT_NE(page.find("\\fB\\-\\-cluster\\-context\\fR \\fITEXT\\fR"), std::string::npos);
}

TEST_F(CommandLine, BashCompletesCommandsOptionsAndFiles) {
    std::string folder = DocumentFile("") + ".completion";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/docs-folder");
    WriteFile(folder + "/desired.json", "{}");
    std::string out = RunBash(folder, R"(
complete_words() {
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=()
    _tarnctl
    echo "$*|${COMPREPLY[*]}"
}
complete_words tarnctl ''
complete_words tarnctl --json ''
complete_words tarnctl ho
complete_words tarnctl host maintenance ''
complete_words tarnctl compliance --b
complete_words tarnctl apply --cluster-context ''
complete_words tarnctl apply de
complete_words tarnctl plugins validate ''
)");
    std::string commands;
    for (const std::string& command : HelpSubcommands({})) {
        commands += (commands.empty() ? "" : " ") + command;
    }
    EXPECT_EQ(out, "tarnctl |" + commands + "\ntarnctl --json |" + commands +
                       "\ntarnctl ho|host\n"
                       "tarnctl host maintenance |enter exit\n"
                       "tarnctl compliance --b|--by-property\n"
                       "tarnctl apply --cluster-context |\n"
                       "tarnctl apply de|desired.json\n"
                       "tarnctl plugins validate |docs-folder\n");
}

TEST_F(CommandLine, ConfigKeysAndTheirCompletionOfferTheUserConfigurableKeys) {
    const char kDefinition[] = R"("definition": {"type": "object", "properties": {}}})";
    InstallKeySchema("system", "time", "ntp",
                     std::string(R"({"userConfig": true, )") + kDefinition);
    InstallKeySchema("net", "dns", "search", std::string(R"({"userConfig": true, )") + kDefinition);
    InstallKeySchema("system", "time", "zone", std::string("{") + kDefinition);
    // The fixture's net/dns/resolver is not user-configurable either.
    TarnctlResult keys = RunTarnctl({"config", "keys"});
    EXPECT_EQ(keys.exitCode, 0);
    EXPECT_EQ(keys.out, "net/dns/search\nsystem/time/ntp\n");
    EXPECT_EQ(RunTarnctl({"config", "keys", "--json"}).out,
              "{\"keys\":[\"net/dns/search\",\"system/time/ntp\"]}\n");

    std::string folder = DocumentFile("") + ".key-completion";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::string out = RunBash(folder, R"(
complete_words() {
    COMP_WORDS=(')" TARNCTL_PATH R"(' "$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=()
    _tarnctl
    echo "$*|${COMPREPLY[*]}"
}
complete_words config get ''
complete_words config set sys
complete_words --json config delete -y n
complete_words config set system/time/ntp ''
)");
    EXPECT_EQ(out,
              "config get |net/dns/search system/time/ntp\n"
              "config set sys|system/time/ntp\n"
              "--json config delete -y n|net/dns/search\n"
              "config set system/time/ntp |\n");
}

}  // namespace
}  // namespace TarnTest
