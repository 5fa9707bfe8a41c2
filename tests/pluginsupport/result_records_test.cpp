// Result records: each writes the documented file form and loads back equal; every malformed
// file fails with an error naming the file; the writer never follows a planted link.
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "host_root_fixture.h"
#include "tarn/configstore/json_text.h"
#include "tarn/paths.h"
#include "tarn/pluginsupport/extract_plugin_result.h"
#include "tarn/pluginsupport/impact_plugin_result.h"
#include "tarn/pluginsupport/result_file.h"
#include "tarn/pluginsupport/validation_plugin_result.h"

namespace TarnConfigManager {
namespace {

using TarnConfigStore::ConfigStoreObjectId;

const char* const kOut = TarnPaths::kPluginOutputFile;

class ResultRecordTest : public TarnTest::HostRootTest {};

ImpactPluginInfo Verdict(IMPACT_TYPE impact, const char* instanceId, bool quickBoot) {
    ImpactPluginInfo info;
    info.impact = impact;
    info.component = "net";
    info.group = "ip";
    info.key = "route";
    info.instanceId = instanceId;
    info.quickBootCapable = quickBoot;
    return info;
}

TEST_F(ResultRecordTest, ImpactResultWritesItsFormAndLoadsBack) {
    ImpactPluginResult result;
    result.impacts = {Verdict(REBOOT_REQUIRED, "r1", false), Verdict(NO_IMPACT, "", true)};
    result.error = ErrorInfo("com.x.failed", {"a", "b"}, "text");
    result.Write(kOut);
    EXPECT_EQ(TarnTest::ReadFile(kOut),
              R"({"id":"com.x.failed","args":["a","b"],"message":"text","impacts":[)"
              R"({"impact":2,"component":"net","group":"ip","key":"route","instanceId":"r1",)"
              R"("quickBootCapable":false},)"
              R"({"impact":0,"component":"net","group":"ip","key":"route","instanceId":"",)"
              R"("quickBootCapable":true}]})");
    ImpactPluginResult loaded = ImpactPluginResult::Load(kOut);
    EXPECT_EQ(loaded.impacts, result.impacts);
    EXPECT_EQ(loaded.error, result.error);
    // One format for every result file: the error members read the same everywhere.
    EXPECT_EQ(ErrorInfo::Load(kOut), result.error);
}

TEST_F(ResultRecordTest, ExtractResultKeepsObjectsAndNumbersInstancesPerKey) {
    ExtractPluginResult result;
    result.configs = {TarnConfigStore::CreateObject(ConfigStoreObjectId("route", "ip", "net", "r1"),
                                                    R"({"via":"a"})", std::nullopt),
                      TarnConfigStore::CreateObject(ConfigStoreObjectId("servers", "dns", "net"),
                                                    "[1,2]", std::nullopt),
                      TarnConfigStore::CreateObject(ConfigStoreObjectId("route", "ip", "net", "r2"),
                                                    R"({"via":"b"})", std::nullopt)};
    result.Write(kOut);
    ExtractPluginResult loaded = ExtractPluginResult::Load(kOut);
    ASSERT_EQ(loaded.configs.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded.configs[i]->GetConfigStoreObjectId(),
                  result.configs[i]->GetConfigStoreObjectId());
        EXPECT_EQ(loaded.configs[i]->GetSerializedData(), result.configs[i]->GetSerializedData());
    }
    EXPECT_EQ(loaded.configs[0]->GetIndex(), 0u);
    EXPECT_EQ(loaded.configs[1]->GetIndex(), 0u);
    EXPECT_EQ(loaded.configs[2]->GetIndex(), 1u);
    EXPECT_EQ(loaded.error.id, "");
}

TEST_F(ResultRecordTest, ValidationResultWritesPathErrorsAndLoadsBack) {
    ValidationErrorInfo entry;
    entry.path = "/net/ip/route/0/via";
    entry.messages = {ErrorInfo("com.x.required", {"via"}, ""), ErrorInfo("com.x.type", {}, "")};
    ValidationErrorInfo empty;
    empty.path = "/net";

    rapidjson::Document doc(rapidjson::kObjectType);
    empty.convertToJson(doc, doc.GetAllocator());
    EXPECT_EQ(TarnConfigStore::WriteJsonText(doc), R"({"path":"/net","messages":[]})");

    ValidationPluginResult result;
    result.errors = {entry, empty};
    result.Write(kOut);
    ValidationPluginResult loaded = ValidationPluginResult::Load(kOut);
    EXPECT_EQ(loaded.errors, result.errors);
    EXPECT_EQ(loaded.pluginErr.id, "");

    WriteResultFile(kOut, ErrorInfo("com.x.aborted", {"p"}, ""));
    EXPECT_EQ(TarnTest::ReadFile(kOut), R"({"id":"com.x.aborted","args":["p"],"message":""})");
    loaded = ValidationPluginResult::Load(kOut);
    EXPECT_TRUE(loaded.errors.empty());
    EXPECT_EQ(loaded.pluginErr.id, "com.x.aborted");
}

template <typename Record>
std::string LoadFailure(const std::string& text) {
    if (text != "<missing>") {
        TarnTest::WriteFile(kOut, text);
    }
    try {
        Record::Load(kOut);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "loaded";
}

TEST_F(ResultRecordTest, MalformedFilesFailNamingTheFileAndTheProblem) {
    const std::string prefix = std::string("Failed to load result file ") + kOut + ": ";
    EXPECT_EQ(LoadFailure<ImpactPluginResult>("<missing>").rfind(prefix, 0), 0u);
    for (const char* text : {"", "[]", "{\"impacts\":{}}", "{\"id\":3}", "{\"impacts\":[1]}"}) {
        EXPECT_EQ(LoadFailure<ImpactPluginResult>(text).rfind(prefix, 0), 0u) << text;
    }
    const std::string entry =
        R"("component":"c","group":"g","key":"k","instanceId":"","quickBootCapable":true)";
    EXPECT_EQ(LoadFailure<ImpactPluginResult>("{\"impacts\":[{\"impact\":3," + entry + "}]}"),
              prefix + "JSON error: member \"impact\" is not 0, 1 or 2");
    EXPECT_EQ(LoadFailure<ImpactPluginResult>(R"({"impacts":[{"impact":1}]})"),
              prefix + "JSON error: member \"quickBootCapable\" is missing");
    EXPECT_EQ(LoadFailure<ImpactPluginResult>(
                  R"({"impacts":[{"impact":1,"component":1,"quickBootCapable":true}]})"),
              prefix + "JSON error: member \"component\" is not a string");

    EXPECT_EQ(LoadFailure<ExtractPluginResult>(R"({"configs":[{"config":"{"}]})"),
              prefix + "JSON error: member \"key\" is missing");
    std::string badConfig = LoadFailure<ExtractPluginResult>(
        R"({"configs":[{"config":"{","component":"c","group":"g","key":"k","instanceId":""}]})");
    EXPECT_EQ(badConfig.rfind(prefix, 0), 0u) << badConfig;
    EXPECT_EQ(LoadFailure<ExtractPluginResult>(R"({"configs":"none"})"),
              prefix + "JSON error: member \"configs\" is not a list");

    EXPECT_EQ(LoadFailure<ValidationPluginResult>(R"({"errors":[{"path":"/a"}]})"),
              prefix + "JSON error: member \"messages\" is missing");
    EXPECT_EQ(LoadFailure<ValidationPluginResult>(R"({"errors":[{"path":"/a","messages":[7]}]})")
                  .rfind(prefix, 0),
              0u);
}

TEST_F(ResultRecordTest, WriterReplacesAPlantedLinkAndReportsAnUnwritableFile) {
    std::string target = TarnTest::RootPath("elsewhere.txt");
    TarnTest::WriteFile(target, "untouched");
    ASSERT_EQ(symlink(target.c_str(), kOut), 0);
    ImpactPluginResult().Write(kOut);
    EXPECT_EQ(TarnTest::ReadFile(target), "untouched");
    struct stat st;
    ASSERT_EQ(lstat(kOut, &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ImpactPluginResult::Load(kOut).impacts.size(), 0u);

    std::string blocked = TarnTest::RootPath("not-a-folder");
    TarnTest::WriteFile(blocked, "");
    try {
        WriteResultFile(blocked + "/out.json", ErrorInfo());
        FAIL() << "a result file below a plain file was written";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "Failed to write result file " + blocked + "/out.json: ", 0),
                  0u);
    }
}

}  // namespace
}  // namespace TarnConfigManager
