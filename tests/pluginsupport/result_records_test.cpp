// Result records: each writes the documented file form and loads back to the same text;
// malformed files fail naming the file and the problem; the writer never follows a link.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "failed_steps.h"
#include "host_root_fixture.h"
#include "tarn/paths.h"
#include "tarn/pluginsupport/extract_plugin_result.h"
#include "tarn/pluginsupport/impact_plugin_result.h"
#include "tarn/pluginsupport/result_file.h"
#include "tarn/pluginsupport/validation_plugin_result.h"

namespace TarnConfigManager {
namespace {

using TarnConfigStore::ConfigStoreObjectId;
using TarnTest::ReadFile;

const char* const kOut = TarnPaths::kPluginOutputFile;

class ResultRecordTest : public TarnTest::HostRootTest {};

// Writes record, loads the file and writes what was loaded: both texts must be equal.
template <typename Record>
std::string WrittenTwice(const Record& record) {
    record.Write(kOut);
    std::string text = ReadFile(kOut);
    Record::Load(kOut).Write(kOut);
    EXPECT_EQ(ReadFile(kOut), text);
    return text;
}

TEST_F(ResultRecordTest, RecordsWriteTheirFormAndLoadBack) {
    ImpactPluginResult impact;
    impact.impacts = {{REBOOT_REQUIRED, "net", "ip", "route", "r1", false},
                      {NO_IMPACT, "net", "dns", "servers", "", true}};
    impact.error = ErrorInfo("com.x.failed", {"a", "b"}, "text");
    EXPECT_EQ(WrittenTwice(impact),
              R"({"id":"com.x.failed","args":["a","b"],"message":"text","impacts":[)"
              R"({"impact":2,"component":"net","group":"ip","key":"route","instanceId":"r1",)"
              R"("quickBootCapable":false},)"
              R"({"impact":0,"component":"net","group":"dns","key":"servers","instanceId":"",)"
              R"("quickBootCapable":true}]})");
    // One format for every result file: the error members read alike everywhere.
    EXPECT_EQ(ErrorInfo::Load(kOut), impact.error);

    ValidationPluginResult validation;
    validation.errors = {{"/net/ip/route/0/via", {ErrorInfo("com.x.required", {"via"}, "")}},
                         {"/net", {}}};
    EXPECT_EQ(WrittenTwice(validation),
              R"({"id":"","args":[],"message":"","errors":[{"path":"/net/ip/route/0/via",)"
              R"("messages":[{"id":"com.x.required","args":["via"],"message":""}]},)"
              R"({"path":"/net","messages":[]}]})");

    WriteResultFile(kOut, ErrorInfo("com.x.aborted", {"p"}, ""));
    EXPECT_EQ(ReadFile(kOut), R"({"id":"com.x.aborted","args":["p"],"message":""})");
    EXPECT_EQ(ValidationPluginResult::Load(kOut).pluginErr.id, "com.x.aborted");
}

TEST_F(ResultRecordTest, ExtractResultNumbersTheInstancesOfEachKey) {
    ExtractPluginResult extract;
    for (auto [key, instance, text] :
         {std::tuple{"route", "r1", R"({"via":"a"})"}, std::tuple{"servers", "", "[1,2]"},
          std::tuple{"route", "r2", R"({"via":"b"})"}}) {
        extract.configs.push_back(TarnConfigStore::CreateObject(
            ConfigStoreObjectId(key, "ip", "net", instance), text, std::nullopt));
    }
    EXPECT_EQ(
        WrittenTwice(extract),
        R"({"id":"","args":[],"message":"","configs":[)"
        R"({"config":"{\"via\":\"a\"}","component":"net","group":"ip","key":"route",)"
        R"("instanceId":"r1"},)"
        R"({"config":"[1,2]","component":"net","group":"ip","key":"servers","instanceId":""},)"
        R"({"config":"{\"via\":\"b\"}","component":"net","group":"ip","key":"route",)"
        R"("instanceId":"r2"}]})");
    ExtractPluginResult loaded = ExtractPluginResult::Load(kOut);
    EXPECT_EQ(loaded.configs[0]->GetIndex(), 0u);
    EXPECT_EQ(loaded.configs[1]->GetIndex(), 0u);
    EXPECT_EQ(loaded.configs[2]->GetIndex(), 1u);
}

template <typename Record>
std::string LoadFailure(const char* text) {
    TarnTest::WriteFile(kOut, text);
    try {
        Record::Load(kOut);
    } catch (const std::runtime_error& e) {
        std::string prefix = std::string("Failed to load result file ") + kOut + ": ";
        EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
        return std::string(e.what()).substr(prefix.size());
    }
    return "loaded";
}

TEST_F(ResultRecordTest, ImpactMembersAreFoundInAnyOrderAndTheFirstOfADuplicateCounts) {
    TarnTest::WriteFile(kOut, R"({"impacts":[{"instanceId":"i","key":"k","impact":1,"group":"g",)"
                              R"("quickBootCapable":true,"component":"c","impact":7,"extra":0}]})");
    ImpactPluginResult loaded = ImpactPluginResult::Load(kOut);
    ASSERT_EQ(loaded.impacts.size(), 1u);
    EXPECT_EQ(loaded.impacts[0],
              (ImpactPluginInfo{MAINTENANCE_MODE_REQUIRED, "c", "g", "k", "i", true}));
}

TEST_F(ResultRecordTest, AKeptImpactRecordReadsEachResultAsLoadDoesAndKeepsItsRoom) {
    ImpactPluginResult big;
    big.error.id = "kept.error";
    for (int i = 0; i < 300; ++i) {
        big.impacts.push_back({REBOOT_REQUIRED, "c", "g", "k", "i" + std::to_string(i), false});
    }
    ImpactPluginResult small;
    small.impacts.push_back({NO_IMPACT, "c", "g", "k", "only", true});

    ImpactPluginResult kept;
    big.Write(kOut);
    ImpactPluginResult::LoadInto(kOut, kept);
    EXPECT_EQ(kept.error.id, "kept.error");
    EXPECT_EQ(kept.impacts, big.impacts);
    const ImpactPluginInfo* room = kept.impacts.data();
    small.Write(kOut);
    ImpactPluginResult::LoadInto(kOut, kept);
    EXPECT_EQ(kept.error.id, "");
    EXPECT_EQ(kept.impacts, small.impacts);
    EXPECT_EQ(kept.impacts.data(), room);
    // A malformed file fails as Load fails and leaves nothing of the last result.
    TarnTest::WriteFile(kOut, R"({"impacts":[{"impact":3}]})");
    EXPECT_THROW(ImpactPluginResult::LoadInto(kOut, kept), std::runtime_error);
    EXPECT_TRUE(kept.impacts.empty());
}

TEST_F(ResultRecordTest, MalformedFilesFailNamingTheFileAndTheProblem) {
    for (const char* text : {"", "[]", R"({"impacts":{}})", R"({"id":3})", R"({"impacts":[1]})"}) {
        EXPECT_NE(LoadFailure<ImpactPluginResult>(text), "loaded") << text;
    }
    EXPECT_EQ(LoadFailure<ImpactPluginResult>(R"({"impacts":[{"impact":3}]})"),
              "JSON error: member \"impact\" is not 0, 1 or 2");
    EXPECT_EQ(LoadFailure<ImpactPluginResult>(R"({"impacts":[1]})"),
              "JSON error: member \"impact\" is read from a value that is not an object");
    EXPECT_EQ(LoadFailure<ImpactPluginResult>(R"({"impacts":[{"impact":1}]})"),
              "JSON error: member \"quickBootCapable\" is missing");
    EXPECT_EQ(LoadFailure<ImpactPluginResult>(
                  R"({"impacts":[{"impact":1,"component":1,"quickBootCapable":true}]})"),
              "JSON error: member \"component\" is not a string");
    EXPECT_EQ(LoadFailure<ExtractPluginResult>(R"({"configs":[{"config":"{"}]})"),
              "JSON error: member \"key\" is missing");
    EXPECT_NE(LoadFailure<ExtractPluginResult>(R"({"configs":[{"config":"{","component":"c",)"
                                               R"("group":"g","key":"k","instanceId":""}]})"),
              "loaded");
    EXPECT_EQ(LoadFailure<ExtractPluginResult>(R"({"configs":"none"})"),
              "JSON error: member \"configs\" is not a list");
    EXPECT_EQ(LoadFailure<ValidationPluginResult>(R"({"errors":[{"path":"/a"}]})"),
              "JSON error: member \"messages\" is missing");
    // Every argument of an error is a string, in the error file and in a result's error.
    for (std::string failure :
         {LoadFailure<ErrorInfo>(R"({"id":"x","args":["a",2]})"),
          LoadFailure<ImpactPluginResult>(R"({"args":[null],"impacts":[]})")}) {
        EXPECT_NE(failure.find("\"args\" holds a value that is not a string"), std::string::npos)
            << failure;
    }
    unlink(kOut);
    EXPECT_THROW(ValidationPluginResult::Load(kOut), std::runtime_error);
}

TEST_F(ResultRecordTest, WriterReplacesAPlantedLinkAndReportsAnUnwritableFile) {
    std::string target = TarnTest::RootPath("elsewhere.txt");
    TarnTest::WriteFile(target, "untouched");
    ASSERT_EQ(symlink(target.c_str(), kOut), 0);
    ImpactPluginResult().Write(kOut);
    EXPECT_EQ(ReadFile(target), "untouched");
    struct stat st;
    ASSERT_EQ(lstat(kOut, &st), 0);
    EXPECT_EQ(st.st_mode & (S_IFMT | 07777), S_IFREG | 0600u);

    TarnTest::WriteFile("not-a-folder", "");
    std::string path = TarnTest::RootPath("not-a-folder/out.json");
    try {
        WriteResultFile(path, ErrorInfo());
        ADD_FAILURE() << "a result file below a plain file was written";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Failed to write result file " + path + ": " + std::strerror(ENOTDIR));
    }
}

// Every open, write and rename of a result file failing in turn: the writer names the file and
// the reason and leaves neither the file nor a temporary one; a failed open fails the load.
TEST_F(ResultRecordTest, FailedStepsOfAResultFileLeaveNoFileAndNameTheReason) {
    const std::string folder = TarnTest::RootPath("var/corvid/lifecycle");
    ValidationPluginResult record;
    record.errors = {{"/a", {ErrorInfo("com.x.bad", {"a"})}}};
    for (TarnTest::FaultStep step :
         {TarnTest::FaultStep::kOpen, TarnTest::FaultStep::kWrite, TarnTest::FaultStep::kRename}) {
        std::string error;
        TarnTest::ForEachFailedStep(
            step, EIO, [] { unlink(kOut); },
            [&] {
                try {
                    record.Write(kOut);
                    error.clear();
                } catch (const std::runtime_error& e) {
                    error = e.what();
                }
            },
            [&](unsigned) {
                EXPECT_EQ(error, std::string("Failed to write result file ") + kOut + ": " +
                                     std::strerror(EIO));
                EXPECT_TRUE(TarnTest::FolderEntries(folder).empty());
            });
    }
    record.Write(kOut);
    TarnConfigStore::FailStep(TarnTest::FaultStep::kOpen, EMFILE);
    try {
        ValidationPluginResult::Load(kOut);
        ADD_FAILURE() << "a result file that could not be opened was loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  std::string("Failed to load result file ") + kOut +
                      ": The file cannot be opened: " + std::strerror(EMFILE) + ".");
    }
    EXPECT_EQ(ValidationPluginResult::Load(kOut).errors, record.errors);
}

}  // namespace
}  // namespace TarnConfigManager
