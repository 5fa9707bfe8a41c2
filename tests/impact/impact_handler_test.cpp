// The impact handler over real drift walks: object- and property-level triggers, the action
// of a Set, impact messages, the plugin map and the drift cache in its three modes.
#include <gtest/gtest.h>

#include "apply_host.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "deradidezivizoda/impact/impact_handler.h"
#include "plugin_files.h"
#include "schema_files.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/schemastore/schema_store.h"

namespace {

using namespace TarnConfigManager;
using namespace TarnTest;

// Property triggers of both kinds on every trigger type; SET needs either kind at object
// level, so only a matching property counts.
const char kTriggerSchema[] = R"({"rebootRequired": ["SET"], "maintenanceModeRequired": ["SET"],
  "definition": {"type": "object", "properties": {
    "i": {"type": "integer", "rebootRequired": {"SET": [0]},
          "maintenanceModeRequired": {"SET": [7]}},
    "n": {"type": "number", "rebootRequired": {"SET": [1.5, 3.0]},
          "maintenanceModeRequired": {"SET": [2.5]}},
    "b": {"type": "boolean", "rebootRequired": {"SET": [false]}},
    "s": {"type": "string", "rebootRequired": {"SET": ["off"]},
          "maintenanceModeRequired": {"SET": ["drain"]}},
    "any": {"type": "string", "rebootRequired": {"SET": []}},
    "m": {"type": "integer", "maintenanceModeRequired": {"SET": []}},
    "tags": {"type": "array", "items": {"type": "string"}},
    "routes": {"type": "array", "instanceId": "to", "items": {"type": "object", "properties": {
        "to": {"type": "string"},
        "metric": {"type": "integer", "rebootRequired": {"SET": [0]}}}}}}}})";
const char kTriggerHost[] = R"({"t": {"p": {"r": {"i": 5, "n": 0.5, "b": true, "s": "on",
    "any": "x", "m": 1, "tags": ["a"], "routes": [{"to": "a", "metric": 1},
                                                  {"to": "b", "metric": 1}]}}}})";

class ImpactHandlerTest : public HostRootTest {
protected:
    void SetUp() override {
        HostRootTest::SetUp();
        InstallManifestSchemas();
        InstallKeySchema("t", "p", "r", kTriggerSchema);
        InstallKeySchema("t", "o", "single", R"({"rebootRequired": ["ADD"],
            "definition": {"type": "object", "properties": {"v": {"type": "integer"}}}})");
        InstallKeySchema("t", "o", "list", R"({"multiInstance": true, "instanceKey": "name",
            "rebootRequired": ["ADD"], "maintenanceModeRequired": ["DELETE"],
            "definition": {"type": "object", "properties": {"name": {"type": "string"},
                                                            "v": {"type": "integer"}}}})");
    }

    // Walks desired against host with handler; desired gets the host's text by default.
    static void Judge(ImpactHandler& handler, const std::string& desired, const std::string& host) {
        handler.hostDocument = Json(host);
        rapidjson::Document document = Json(desired);
        ComputeDrift(document, document.GetAllocator(), handler);
    }

    static DriftHandler::Schema SchemaOf(const char* key) {
        return TarnSchemaStore::SchemaStore::GetStore()->GetSchema("t", "o", key);
    }
};

TEST_F(ImpactHandlerTest, PropertyTriggersMatchTheirTypeAndOnlyCountForTheirObject) {
    struct Case {
        const char* pointer;
        const char* value;
        bool reboot;
        bool maintenance;
    };
    const Case cases[] = {
        {"/t/p/r/i", "0", true, false},
        {"/t/p/r/i", "7", false, true},
        {"/t/p/r/i", "3", false, false},
        {"/t/p/r/i", "0.0", false, false},
        {"/t/p/r/n", "1.5", true, false},
        {"/t/p/r/n", "2.5", false, true},
        {"/t/p/r/n", "3", false, false},
        {"/t/p/r/n", "3.0", true, false},
        {"/t/p/r/b", "false", true, false},
        {"/t/p/r/s", "\"off\"", true, false},
        {"/t/p/r/s", "\"drain\"", false, true},
        {"/t/p/r/s", "\"OFF\"", false, false},
        {"/t/p/r/s", "0", false, false},
        {"/t/p/r/any", "\"y\"", true, false},
        {"/t/p/r/m", "2", false, true},
        {"/t/p/r/tags", "[\"off\", \"b\"]", false, false},
        {"/t/p/r/routes/1/metric", "0", true, false},
        {"/t/p/r/routes/2", R"({"to": "c", "metric": 0})", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pointer) + " = " + c.value);
        rapidjson::Document desired = Json(kTriggerHost);
        rapidjson::Value value(Json(c.value), desired.GetAllocator());
        rapidjson::Pointer(c.pointer).Set(desired, value, desired.GetAllocator());
        ImpactHandler handler;
        Judge(handler, Text(desired), kTriggerHost);
        EXPECT_FALSE(handler.GetCompliant());
        EXPECT_EQ(c.reboot, handler.GetRebootRequired());
        EXPECT_EQ(c.maintenance, handler.GetMaintenanceModeRequired());
    }

    // A removed property fires nothing, even one whose empty list matches any value.
    ImpactHandler removed;
    Judge(removed, R"({"t": {"p": {"r": {"i": 5, "n": 0.5, "b": true, "s": "on", "m": 1,
        "tags": ["a"], "routes": [{"to": "a", "metric": 1}, {"to": "b", "metric": 1}]}}}})",
          kTriggerHost);
    EXPECT_FALSE(removed.GetRebootRequired());

    // Array elements are walked by position.
    CSLogger::Capture log;
    ImpactHandler routes;
    Judge(routes, R"({"t": {"p": {"r": {"i": 5, "n": 0.5, "b": true, "s": "on", "any": "x",
        "m": 1, "tags": ["a"], "routes": [{"to": "a", "metric": 1}, {"to": "b", "metric": 0}]}}}})",
          kTriggerHost);
    EXPECT_TRUE(log.Contains(2, "RebootRequired for path: /t/p/r/routes/1/metric"));
}

TEST_F(ImpactHandlerTest, ObjectLevelOperationsAndMessages) {
    const std::string host = R"({"t": {"o": {"single": {"v": 1},
        "list": [{"name": "a", "v": 1}, {"name": "b", "v": 1}]}}})";
    ImpactHandler same;
    Judge(same, host, host);
    EXPECT_TRUE(same.GetCompliant());
    EXPECT_FALSE(same.GetRebootRequired() || same.GetMaintenanceModeRequired());
    EXPECT_TRUE(same.GetImpactInfo().empty());
    EXPECT_TRUE(same.GetPluginMap().empty());

    // Changing instance a is a SET (not listed); removing b needs maintenance mode.
    ImpactHandler changed;
    Judge(changed, R"({"t": {"o": {"single": {"v": 1}, "list": [{"name": "a", "v": 2}]}}})", host);
    EXPECT_FALSE(changed.GetRebootRequired());
    EXPECT_TRUE(changed.GetMaintenanceModeRequired());
    ImpactHandler::ImpactInfoSet expected{{kImpactInfoSet, {"list", "o", "t"}},
                                          {kImpactInfoDelete, {"list", "o", "t"}}};
    EXPECT_EQ(expected, changed.GetImpactInfo());

    // One message per action and key, however the changes of two keys follow each other.
    ImpactHandler mixed;
    Judge(mixed, R"({"t": {"o": {"single": {"v": 2}, "list": [{"name": "a", "v": 2},
        {"name": "c", "v": 1}, {"name": "d", "v": 1}]}}})",
          host);
    ImpactHandler::ImpactInfoSet all{{kImpactInfoSet, {"single", "o", "t"}},
                                     {kImpactInfoSet, {"list", "o", "t"}},
                                     {kImpactInfoAdd, {"list", "o", "t"}},
                                     {kImpactInfoDelete, {"list", "o", "t"}}};
    EXPECT_EQ(all, mixed.GetImpactInfo());

    ImpactHandler added;
    Judge(added, R"({"t": {"o": {"single": {"v": 1}, "list": [{"name": "a", "v": 1},
        {"name": "b", "v": 1}, {"name": "c", "v": 1}]}}})",
          host);
    EXPECT_TRUE(added.GetRebootRequired());

    // A singleton whose host value is the deleted-default marker is added; twice the same
    // change is one message. The same Set on a multi-instance key is a plain SET.
    ImpactHandler deletedDefault;
    Judge(deletedDefault, R"({"t": {"o": {"single": {"v": 1}}}})",
          R"({"t": {"o": {"single": "DELETE_DEFAULT"}}})");
    deletedDefault.Set(Json(R"({"v": 1})"), rapidjson::Value("DELETE_DEFAULT"),
                       {"single", "o", "t"}, SchemaOf("single"), "/t/o/single", kEmptyVal);
    EXPECT_EQ((ImpactHandler::ImpactInfoSet{{kImpactInfoAdd, {"single", "o", "t"}}}),
              deletedDefault.GetImpactInfo());
    EXPECT_TRUE(deletedDefault.GetRebootRequired());
    ImpactHandler multi;
    multi.Set(Json(R"({"name": "a", "v": 2})"), rapidjson::Value("DELETE_DEFAULT"),
              {"list", "o", "t", "a"}, SchemaOf("list"), "/t/o/list/0", kEmptyVal);
    EXPECT_EQ((ImpactHandler::ImpactInfoSet{{kImpactInfoSet, {"list", "o", "t"}}}),
              multi.GetImpactInfo());
    EXPECT_FALSE(multi.GetRebootRequired());
}

TEST_F(ImpactHandlerTest, PluginMapAndDriftCacheWriteThenRead) {
    InstallManifest("cachetest", R"({"version": 2, "type": "python",
        "accepts": ["t:o:single", "t:o:list"],
        "impact": {"supports": true, "cache_drift": ["t:o:list"]}})");
    const std::string host =
        R"({"t": {"o": {"single": {"v": 1}, "list": [{"name": "a", "v": 1}]}}})";
    const std::string desired = R"({"t": {"o": {"single": {"v": 2},
        "list": [{"name": "a", "v": 2}, {"name": "n", "v": 1}]}}})";

    ImpactHandler writer;
    writer.SetCacheMode(ImpactHandler::kCacheWrite);
    Judge(writer, desired, host);
    EXPECT_EQ(R"({"t:o:list:a":{"operation":"SET","drift":"{\"v\":\"SET\"}"},)"
              R"("t:o:list:n":{"operation":"ADD"}})",
              Text(writer.DriftCache()));
    ImpactHandler::PluginMap map = writer.GetPluginMap();
    ASSERT_EQ(1u, map.size());
    const TaskMap& work = map.at("cachetest");
    ASSERT_EQ(3u, work.inputs.size());
    EXPECT_EQ("SET", work.inputs[0].operation);
    EXPECT_EQ(R"({"v":2})", work.inputs[0].object->GetSerializedData());
    EXPECT_EQ(R"({"v":"SET"})", work.inputs[0].drift->GetDriftData());
    EXPECT_EQ("n", work.inputs[2].object->GetConfigStoreObjectId().GetInstanceId());
    EXPECT_FALSE(work.inputs[2].drift);
    EXPECT_FALSE(work.inputs[0].cachedDrift);

    ImpactHandler reader;
    reader.SetCacheMode(ImpactHandler::kCacheRead);
    reader.DriftCache().CopyFrom(writer.DriftCache(), reader.DriftCache().GetAllocator());
    Judge(reader, desired, R"({"t": {"o": {"single": {"v": 1}, "list": []}}})");
    const std::vector<DesiredConfigInput> inputs = reader.GetPluginMap().at("cachetest").inputs;
    ASSERT_EQ(3u, inputs.size());
    EXPECT_FALSE(inputs[0].cachedDrift);  // the singleton's key is not cached
    EXPECT_EQ("ADD", inputs[1].operation);
    ASSERT_TRUE(inputs[1].cachedDrift);
    EXPECT_EQ("SET", inputs[1].cachedDrift->operation);
    EXPECT_EQ(R"({"v":"SET"})", inputs[1].cachedDrift->drift->GetDriftData());
    EXPECT_EQ("ADD", inputs[2].cachedDrift->operation);
    EXPECT_FALSE(inputs[2].cachedDrift->drift);

    // A cached drift is handed on compact whether or not it matches the drift found now; one
    // that is not JSON names the object.
    const std::pair<const char*, const char*> cachedTexts[] = {
        {R"({"v":"SET"})", R"({"v":"SET"})"},
        {R"({ "v" : "SET" })", R"({"v":"SET"})"},
        {R"({"v":"ADD"})", R"({"v":"ADD"})"},
        {R"({"v":)", nullptr}};
    for (const auto& [cachedText, expected] : cachedTexts) {
        ImpactHandler again;
        again.SetCacheMode(ImpactHandler::kCacheRead);
        rapidjson::Document& cache = again.DriftCache();
        cache.CopyFrom(writer.DriftCache(), cache.GetAllocator());
        cache["t:o:list:a"]["drift"].SetString(rapidjson::StringRef(cachedText));
        if (!expected) {
            try {
                Judge(again, desired, host);
                ADD_FAILURE() << "accepted the cached drift " << cachedText;
            } catch (const TarnConfigStore::ConfigStoreException& e) {
                EXPECT_EQ(2000, e.GetCode());
                EXPECT_NE(std::string::npos, std::string(e.what()).find("key list")) << e.what();
            }
            continue;
        }
        Judge(again, desired, host);
        const DesiredConfigInput input = again.GetPluginMap().at("cachetest").inputs.at(1);
        EXPECT_EQ(R"({"v":"SET"})", input.drift->GetDriftData());
        ASSERT_TRUE(input.cachedDrift);
        EXPECT_EQ(expected, input.cachedDrift->drift->GetDriftData());
        EXPECT_EQ("list", input.cachedDrift->drift->GetConfigStoreObjectId().GetKey());
        EXPECT_EQ("SET", input.cachedDrift->drift->GetOperation());
    }
    // The same drift cached under another operation keeps that operation.
    ImpactHandler otherOperation;
    otherOperation.SetCacheMode(ImpactHandler::kCacheRead);
    rapidjson::Document& cache = otherOperation.DriftCache();
    cache.CopyFrom(writer.DriftCache(), cache.GetAllocator());
    cache["t:o:list:a"]["operation"].SetString("ADD");
    Judge(otherOperation, desired, host);
    const DesiredConfigInput input = otherOperation.GetPluginMap().at("cachetest").inputs.at(1);
    EXPECT_EQ("SET", input.drift->GetOperation());
    EXPECT_EQ("ADD", input.cachedDrift->operation);
    EXPECT_EQ("ADD", input.cachedDrift->drift->GetOperation());
    EXPECT_EQ(R"({"v":"SET"})", input.cachedDrift->drift->GetDriftData());

    // Without a plugin for a key the change still counts, but nobody is asked about it.
    CSLogger::Capture log;
    ImpactHandler orphan;
    Judge(orphan, R"({"t": {"p": {"r": {"i": 1}}}})", "{}");
    EXPECT_FALSE(orphan.GetCompliant());
    EXPECT_TRUE(orphan.GetPluginMap().empty());
    EXPECT_TRUE(log.Contains(3, "Plugin not present for comp t grp p key r"));
}

}  // namespace
