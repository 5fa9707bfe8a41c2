// Documents a careless or hostile user may hand tarnctl on the demo host: members named twice,
// instances that share their instance key, and run files or a log file replaced by symbolic
// links. Each is refused with its place named, and the host is left as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "demo_host_fixture.h"
#include "json_test_text.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

// desired.json with the first occurrence of from replaced by to, as a document file.
std::string DesiredWithText(const std::string& from, const std::string& to) {
    std::string text = ReadFile(DemoDocument("desired.json"));
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return DocumentFile(text.replace(at, from.size(), to));
}

TEST_F(DemoHostTest, DuplicatesAreFindingsWithTheirPathsAndApplyRefusesThem) {
    struct Case {
        const char* from;
        const char* to;
        const char* path;
        const char* id;
        std::vector<std::string> args;
    } cases[] = {
        {"{\n  \"system\"",
         R"({"system": {"time": {"ntp": {"servers": ["10.0.0.9"]}}}, "system")",
         "/system",
         "validation.duplicate-member",
         {"system"}},
        {R"("uid": 2001,)",
         R"("uid": 2001, "uid": 2003,)",
         "/security/accounts/users/0/uid",
         "validation.duplicate-member",
         {"uid"}},
        {R"("name": "ops")",
         R"("name": "tarn-demo")",
         "/security/accounts/users/1/name",
         "validation.duplicate-instance",
         {"\"tarn-demo\"", "0"}},
    };
    const auto before = HostFiles();
    for (const Case& c : cases) {
        const std::string document = DesiredWithText(c.from, c.to);
        TarnctlResult run = RunTarnctl({"--json", "validate", document});
        EXPECT_EQ(run.exitCode, 2) << c.path << run.err;
        rapidjson::Document out = ParseJson(run.out);
        bool found = false;
        for (const rapidjson::Value& entry : out["errors"].GetArray()) {
            if (entry["path"].GetString() != std::string(c.path)) {
                continue;
            }
            const rapidjson::Value& message = entry["messages"][0];
            EXPECT_EQ(std::string("com.corvid.tarn.settings.") + c.id, message["id"].GetString());
            std::vector<std::string> args;
            for (const rapidjson::Value& arg : message["args"].GetArray()) {
                args.emplace_back(arg.GetString());
            }
            EXPECT_EQ(c.args, args) << c.path;
            found = true;
        }
        EXPECT_TRUE(found) << c.path << run.out;
        for (const auto& args : {std::vector<std::string>{"impact", document},
                                 std::vector<std::string>{"apply", "--yes", document}}) {
            run = RunTarnctl(args);
            EXPECT_EQ(run.exitCode, 2) << args[0] << c.path << run.out << run.err;
        }
    }
    EXPECT_EQ(before, HostFiles());
}

std::string FolderOf(const char* path) {
    return std::filesystem::path(path).parent_path().string();
}

// Replaces the folder by a symbolic link to a new folder; returns that folder.
std::string PlantFolderLink(const std::string& folder, const std::string& target) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(RootPath(target));
    std::filesystem::create_symlink(RootPath(target), folder);
    return RootPath(target);
}

using PlantedLinks = TarnctlTest;

TEST_F(PlantedLinks, TheLogFileAndItsFolderAreNeverFollowed) {
    InstallProbePlugin("ok");
    const std::string victim = RootPath("victim.txt");
    WriteFile(victim, "precious\n");
    std::filesystem::remove(TarnPaths::kLogFile);
    std::filesystem::create_symlink(victim, TarnPaths::kLogFile);
    TarnctlResult run = RunTarnctl({"validate", DocumentFile(kProbeDocument)});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ("precious\n", ReadFile(victim));
    EXPECT_NE(run.err.find(std::string("Not logging to ") + TarnPaths::kLogFile +
                           ": it is a symbolic link"),
              std::string::npos)
        << run.err;

    const std::string elsewhere = PlantFolderLink(FolderOf(TarnPaths::kLogFile), "elsewhere");
    run = RunTarnctl({"validate", DocumentFile(kProbeDocument)});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
    EXPECT_NE(run.err.find("its folder is a symbolic link"), std::string::npos) << run.err;
}

TEST_F(PlantedLinks, TheRunFolderIsNeverFollowed) {
    InstallProbePlugin("ok");
    const std::string elsewhere = PlantFolderLink(FolderOf(TarnPaths::kHostLockFile), "elsewhere");
    TarnctlResult run = RunTarnctl({"validate", DocumentFile(kProbeDocument)});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(
        run.err.find(std::string("The plugin run folder ") + FolderOf(TarnPaths::kHostLockFile) +
                     " is a symbolic link, which is never followed"),
        std::string::npos)
        << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

}  // namespace
}  // namespace TarnTest
