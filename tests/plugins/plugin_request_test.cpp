// Request documents: the exact text written for each kind of run, reading it back, and how
// the request file is written.
#include "deradidezivizoda/plugins/plugin_request.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "deradidezivizoda/core/exceptions.h"
#include "host_root_fixture.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace TarnConfigManager {
namespace {

using TarnConfigStore::ConfigStoreObjectId;
using TarnConfigStore::CreateDriftObject;
using TarnConfigStore::CreateObject;

const ConfigStoreObjectId kServers("servers", "dns", "net");
const ConfigStoreObjectId kRoute("route", "ip", "net", "r1");

class RequestTest : public TarnTest::HostRootTest {
protected:
    std::string DumpText(PluginRequest& request) {
        request.Dump(TarnPaths::kPluginInputFile, "task-1", "{\"cluster\":true}");
        return TarnTest::ReadFile(TarnPaths::kPluginInputFile);
    }
    void Reload(PluginRequest& read, const std::string& text) {
        TarnTest::WriteFile(TarnPaths::kPluginInputFile, text);
        read.Load(TarnPaths::kPluginInputFile);
    }
};

template <typename Call>
std::string RuntimeError(Call call) {
    try {
        call();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

template <typename Call>
int StoreErrorCode(Call call) {
    try {
        call();
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        return e.GetCode();
    }
    return 0;
}

TEST_F(RequestTest, ImpactRequestWritesItsMembersInOrderAndReadsBack) {
    std::vector<DesiredConfigInput> inputs{
        {CreateObject(kServers, R"({"list":["a"]})", std::nullopt),
         CreateDriftObject(kServers, "SET", R"({"list":"changed"})"), "SET", nullptr},
        // The cached drift of an earlier impact run may name another operation than the
        // current one; each keeps its own.
        {CreateObject(kRoute, R"({"via":"x"})", std::nullopt), nullptr, "SET",
         std::make_shared<CachedDriftObject>(
             CachedDriftObject{CreateDriftObject(kRoute, "ADD", "{}"), "ADD"})},
        {CreateObject(kRoute, "{}", std::nullopt), nullptr, "ADD",
         std::make_shared<CachedDriftObject>(CachedDriftObject{nullptr, "DELETE"})}};
    PluginRequest request("net/dns.json", "IMPACT", "libdns.so", 2, inputs);
    std::string text = DumpText(request);
    EXPECT_EQ(text,
              R"({"key":"net/dns.json","version":2,"type":"IMPACT","module":"libdns.so","data":{)"
              R"("netdnsservers":{"operation":"SET","config":"{\"list\":[\"a\"]}",)"
              R"("drift":"{\"list\":\"changed\"}","component":"net","group":"dns",)"
              R"("key":"servers","instanceId":""},)"
              R"("netiprouter1":{"operation":"SET","config":"{\"via\":\"x\"}",)"
              R"("cachedDrift":{"drift":"{}","operation":"ADD"},"component":"net","group":"ip",)"
              R"("key":"route","instanceId":"r1"},)"
              R"("netiprouter1":{"operation":"ADD","config":"{}",)"
              R"("cachedDrift":{"operation":"DELETE"},"component":"net","group":"ip",)"
              R"("key":"route","instanceId":"r1"}},)"
              R"("taskId":"task-1","clusterContext":"{\"cluster\":true}"})");

    // Reading the file back and writing what was read gives the same text.
    PluginRequest read;
    read.Load(TarnPaths::kPluginInputFile);
    std::vector<DesiredConfigInput> data = read.GetData();
    PluginRequest again(read.GetId(), read.GetType(), read.GetModule(), read.GetVersion(), data);
    again.Dump(TarnPaths::kPluginInputFile, read.GetTaskId(), read.GetClusterContext());
    EXPECT_EQ(TarnTest::ReadFile(TarnPaths::kPluginInputFile), text);
    // Instances of one key are numbered in document order.
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[0].object->GetIndex(), 0u);
    EXPECT_EQ(data[1].object->GetIndex(), 0u);
    EXPECT_EQ(data[2].object->GetIndex(), 1u);
    EXPECT_EQ(data[1].cachedDrift->drift->GetConfigStoreObjectId(), kRoute);
    EXPECT_EQ(data[1].operation, "SET");
    EXPECT_EQ(data[1].cachedDrift->operation, "ADD");
    EXPECT_EQ(data[1].cachedDrift->drift->GetOperation(), "ADD");
    EXPECT_EQ(data[2].operation, "ADD");
    EXPECT_EQ(data[2].cachedDrift->operation, "DELETE");
    EXPECT_FALSE(data[2].cachedDrift->drift);
}

// Texts that need escaping come out as the document writer writes them: the read-back text is
// written again through a document and must match byte for byte.
TEST_F(RequestTest, ApplyRequestEscapesItsTextsAsTheDocumentWriterDoes) {
    const ConfigStoreObjectId odd("k\"ey", "gr\\oup", "c\xc3\xa9", "i\td\x01");
    std::vector<DesiredConfigInput> inputs{
        {CreateObject(odd, R"({"s":"quote \" tab \t \u0002 \u00e9"})", std::nullopt),
         CreateDriftObject(odd, "SET", R"({"s":"changed"})"), "SET", nullptr}};
    PluginRequest request("p", "APPLY", "", 3, inputs);
    request.Dump(TarnPaths::kPluginInputFile, "t\"1", "ctx\n");
    std::string text = TarnTest::ReadFile(TarnPaths::kPluginInputFile);
    rapidjson::Document parsed;
    ASSERT_TRUE(TarnConfigStore::ParseJsonText(text, parsed));
    EXPECT_EQ(TarnConfigStore::WriteJsonText(parsed), text);
    PluginRequest read;
    read.Load(TarnPaths::kPluginInputFile);
    ASSERT_EQ(read.GetData().size(), 1u);
    EXPECT_EQ(read.GetData()[0].object->GetConfigStoreObjectId(), odd);
    EXPECT_EQ(read.GetTaskId(), "t\"1");

    PluginRequest none("p", "APPLY", "", 3, std::vector<DesiredConfigInput>{});
    EXPECT_EQ(DumpText(none), R"({"key":"p","version":3,"type":"APPLY","data":{},)"
                              R"("taskId":"task-1","clusterContext":"{\"cluster\":true}"})");
}

// A text that is not UTF-8 fails when the request is written, not when it is built, and leaves
// no request file behind.
TEST_F(RequestTest, TextThatIsNotUtf8FailsTheWriteAndLeavesNoFile) {
    std::vector<DesiredConfigInput> inputs{
        {CreateObject(kServers, "{}", std::nullopt), nullptr, "S\xff", nullptr}};
    PluginRequest request("p", "APPLY", "", 3, inputs);
    unlink(TarnPaths::kPluginInputFile);
    EXPECT_EQ(StoreErrorCode([&] { DumpText(request); }), 1082);
    EXPECT_FALSE(std::filesystem::exists(TarnPaths::kPluginInputFile));
}

// Requests made one after the other on a thread share a buffer: each writes its own text, and
// writing a request again gives its text with the new task id only.
TEST_F(RequestTest, RequestsInTurnWriteTheirOwnTextsAgainAndAgain) {
    {
        std::vector<DesiredConfigInput> many;
        for (int i = 0; i < 50; ++i) {
            many.push_back({CreateObject(kServers, R"({"list":["a","b","c"]})", std::nullopt),
                            nullptr, "SET", nullptr});
        }
        PluginRequest large("p", "APPLY", "", 3, many);
        DumpText(large);
    }
    std::vector<DesiredConfigInput> one{
        {CreateObject(kServers, "{}", std::nullopt), nullptr, "ADD", nullptr}};
    PluginRequest small("q", "APPLY", "", 3, one);
    const std::string data =
        R"({"key":"q","version":3,"type":"APPLY","data":{"netdnsservers":{"operation":"ADD",)"
        R"("config":"{}","component":"net","group":"dns","key":"servers","instanceId":""}},)";
    EXPECT_EQ(DumpText(small),
              data + R"("taskId":"task-1","clusterContext":"{\"cluster\":true}"})");
    small.Dump(TarnPaths::kPluginInputFile, "task-2", "");
    EXPECT_EQ(TarnTest::ReadFile(TarnPaths::kPluginInputFile),
              data + R"("taskId":"task-2","clusterContext":""})");

    // An id that is not UTF-8 fails the write as a text of the data does.
    unlink(TarnPaths::kPluginInputFile);
    PluginRequest badId("p\xff", "APPLY", "", 3, one);
    EXPECT_EQ(StoreErrorCode([&] { DumpText(badId); }), 1082);
    EXPECT_FALSE(std::filesystem::exists(TarnPaths::kPluginInputFile));
}

TEST_F(RequestTest, ExtractAndValidateRequests) {
    PluginRequest extract("net/dns.json", "EXTRACT", "", 1,
                          std::vector<ConfigStoreObjectId>{kServers, kRoute});
    EXPECT_EQ(DumpText(extract), R"({"key":"net/dns.json","version":1,"type":"EXTRACT","csoIds":[)"
                                 R"({"component":"net","group":"dns","key":"servers"},)"
                                 R"({"component":"net","group":"ip","key":"route"}],)"
                                 R"("taskId":"task-1","clusterContext":"{\"cluster\":true}"})");
    PluginRequest readExtract;
    readExtract.Load(TarnPaths::kPluginInputFile);
    EXPECT_EQ(
        readExtract.GetCSOIdsForExtract(),
        (std::vector<ConfigStoreObjectId>{kServers, ConfigStoreObjectId("route", "ip", "net")}));
    EXPECT_EQ(RuntimeError([&] { readExtract.GetModule(); }),
              "The PluginRequest structure does not contain module");

    std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>> configs{
        CreateObject(kServers, "[1]", std::nullopt)};
    PluginRequest validate("net/dns.json", "VALIDATE", "", 1, configs, {});
    EXPECT_EQ(DumpText(validate),
              R"({"key":"net/dns.json","version":1,"type":"VALIDATE","data":{"netdnsservers":)"
              R"({"config":"[1]","component":"net","group":"dns","key":"servers",)"
              R"("instanceId":""}},"references":{},)"
              R"("taskId":"task-1","clusterContext":"{\"cluster\":true}"})");

    PluginRequest withReferences("net/dns.json", "VALIDATE", "", 1, configs, configs);
    DumpText(withReferences);
    PluginRequest read;
    read.Load(TarnPaths::kPluginInputFile);
    ASSERT_EQ(read.GetReferences().size(), 1u);
    EXPECT_EQ(read.GetReferences()[0]->GetSerializedData(), "[1]");
    EXPECT_EQ(read.GetData()[0].operation, "");
}

TEST_F(RequestTest, ReadingSideRejectsMissingAndMalformedParts) {
    PluginRequest read;
    for (const char* text : {"", "{", "{} {}"}) {
        TarnTest::WriteFile(TarnPaths::kPluginInputFile, text);
        EXPECT_EQ(RuntimeError([&] { read.Load(TarnPaths::kPluginInputFile); }),
                  "Failed to load plugin input json.")
            << text;
    }
    unlink(TarnPaths::kPluginInputFile);
    EXPECT_EQ(RuntimeError([&] { read.Load(TarnPaths::kPluginInputFile); }),
              "Failed to load plugin input json.");

    Reload(read, "{}");
    EXPECT_EQ(RuntimeError([&] { read.GetVersion(); }),
              "The PluginRequest structure does not contain version.");
    EXPECT_EQ(RuntimeError([&] { read.GetTaskId(); }),
              "The PluginRequest structure does not contain taskId");
    EXPECT_EQ(RuntimeError([&] { read.GetClusterContext(); }),
              "The PluginRequest structure does not contain context");
    EXPECT_EQ(RuntimeError([&] { read.GetType(); }),
              "The PluginRequest structure does not contain type");
    EXPECT_EQ(RuntimeError([&] { read.GetId(); }),
              "The PluginRequest structure does not contain key");
    EXPECT_EQ(RuntimeError([&] { read.GetData(); }),
              "The PluginRequest structure does not contain data");
    EXPECT_TRUE(read.GetReferences().empty());
    EXPECT_EQ(RuntimeError([&] { read.GetCSOIdsForExtract(); }),
              "The Extract PluginRequest structure does not contain csoIds.");

    Reload(read, R"({"csoIds":{}})");
    EXPECT_EQ(RuntimeError([&] { read.GetCSOIdsForExtract(); }),
              "The Extract PluginRequest's csoIds should be a list.");
    Reload(read, R"({"csoIds":[{"component":"net","group":"dns"}]})");
    EXPECT_EQ(RuntimeError([&] { read.GetCSOIdsForExtract(); }),
              "The Extract PluginRequest format is invalid");

    // Wrongly typed members are JSON consistency errors.
    Reload(read, R"({"version":"2","key":7,"data":{"x":{"config":"{}","component":"c",)"
                 R"("group":"g","key":"k"}}})");
    EXPECT_EQ(StoreErrorCode([&] { read.GetVersion(); }), 1082);
    EXPECT_EQ(StoreErrorCode([&] { read.GetId(); }), 1082);
    EXPECT_EQ(StoreErrorCode([&] { read.GetData(); }), 1082);  // no "instanceId"
}

TEST_F(RequestTest, RequestFileIsPrivateAndReplacesAPlantedLink) {
    std::string target = TarnTest::RootPath("elsewhere.txt");
    TarnTest::WriteFile(target, "untouched");
    unlink(TarnPaths::kPluginInputFile);
    ASSERT_EQ(symlink(target.c_str(), TarnPaths::kPluginInputFile), 0);

    PluginRequest request("p", "APPLY", "", 1, std::vector<DesiredConfigInput>{});
    request.Dump(TarnPaths::kPluginInputFile, "t", "c");
    request.Dump(TarnPaths::kPluginInputFile, "t2", "c2");
    EXPECT_EQ(TarnTest::ReadFile(target), "untouched");
    struct stat st;
    ASSERT_EQ(lstat(TarnPaths::kPluginInputFile, &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Dumping again replaces the task id and context instead of adding them twice.
    EXPECT_EQ(
        TarnTest::ReadFile(TarnPaths::kPluginInputFile),
        R"({"key":"p","version":1,"type":"APPLY","data":{},"taskId":"t2","clusterContext":"c2"})");
}

TEST_F(RequestTest, DumpCreatesAMissingFolderAndRefusesOneThatIsNoFolder) {
    std::string folder = TarnTest::RootPath("var/corvid/lifecycle");
    std::filesystem::remove_all(folder);
    PluginRequest request("p", "APPLY", "", 1, std::vector<DesiredConfigInput>{});
    request.Dump(TarnPaths::kPluginInputFile, "", "");
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    std::string blocked = TarnTest::RootPath("not-a-folder");
    TarnTest::WriteFile(blocked, "");
    try {
        request.Dump(blocked + "/request.json", "", "");
        FAIL() << "a request file below a plain file was written";
    } catch (const ConfigManagerException& e) {
        EXPECT_EQ(e.GetCode(), 3000);
        EXPECT_EQ(std::string(e.what()), "The plugin run folder " + blocked + " is not a folder");
    }
}

}  // namespace
}  // namespace TarnConfigManager
