#include "apply_host.h"

#include <filesystem>
#include <fstream>
#include <map>

#include "deradidezivizoda/drift/check_compliance.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "schema_files.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace fs = std::filesystem;

namespace TarnTest {

const char kHostDocument[] = R"({"host": {
    "time": {"zone": {"zone": "UTC"}, "ntp": {"servers": ["a.example"]}},
    "net": {"links": [{"name": "eth0", "mtu": 1500, "enabled": true, "speed": 1000},
                      {"name": "eth1", "mtu": 1500, "enabled": true, "speed": 1000}]},
    "storage": {"cache": {"size": 1}},
    "boot": {"kernel": {"args": "quiet"}}}})";

namespace {

const char kPluginSource[] = TARN_SOURCE_DIR "/tests/impact/plugins/store_plugin.py";

struct HostKey {
    const char* group;
    const char* key;
    const char* schema;
};

const HostKey kKeys[] = {
    {"time", "zone", R"({"definition": {"type": "object",
        "properties": {"zone": {"type": "string"}}}})"},
    {"net", "links", R"({"multiInstance": true, "instanceKey": "name",
        "rebootRequired": ["SET"], "maintenanceModeRequired": ["SET"],
        "definition": {"type": "object", "properties": {"name": {"type": "string"},
            "mtu": {"type": "integer", "rebootRequired": {"SET": [9000]}},
            "enabled": {"type": "boolean", "maintenanceModeRequired": {"SET": [false]}},
            "speed": {"type": "integer"}}}})"},
    {"time", "ntp", R"({"definition": {"type": "object", "properties": {
        "servers": {"type": "array", "items": {"type": "string"}}}}})"},
    {"storage", "cache", R"({"maintenanceModeRequired": ["ADD", "SET"],
        "definition": {"type": "object", "properties": {"size": {"type": "integer"}}}})"},
    {"boot", "kernel", R"({"rebootRequired": ["ADD", "SET"],
        "definition": {"type": "object", "properties": {"args": {"type": "string"}}}})"},
};

std::string Version2(const std::string& id, const std::string& key, const std::string& group,
                     bool boot, const std::string& impact) {
    std::string operations;
    for (const char* operation : {"ADD", "SET", "DELETE"}) {
        operations += std::string(operations.empty() ? "" : ", ") + "\"" + operation +
                      "\": {\"provides\": \"" + operation + ":" + id + "\", \"depends\": []}";
    }
    return R"({"version": 2, "type": "python", "accepts": [")" + key +
           R"("], "apply": {"apply_group": ")" + group + R"(", "boot": )" +
           (boot ? "true" : "false") + R"(, "operations": {)" + operations + "}}" + impact + "}";
}

// Plugin id -> folder and manifest of the five plugins.
const std::map<std::string, std::pair<std::string, std::string>>& HostPlugins() {
    static const std::map<std::string, std::pair<std::string, std::string>> plugins{
        {"storetest:zone",
         {"storetest/zone", Version2("storetest:zone", "host:time:zone", "system", false,
                                     R"(, "impact": {"supports": true})")}},
        {"storetest:links",
         {"storetest/links",
          Version2("storetest:links", "host:net:links", "network", true,
                   R"(, "impact": {"supports": true, "cache_drift": ["host:net:links"]})")}},
        {"storetest:storage",
         {"storetest/storage", Version2("storetest:storage", "host:storage:cache", "storage", true,
                                        R"(, "impact": {"supports": true})")}},
        {"storetest:boot",
         {"storetest/boot", Version2("storetest:boot", "host:boot:kernel", "system-early", true,
                                     R"(, "impact": {"supports": true})")}},
        {"host:time:ntp", {"host/time/ntp", R"({"version": 3, "type": "python", "apply": {
            "apply_group": "system", "boot": true, "REMEDIATE": {
            "provides": "REMEDIATE:host:time:ntp", "depends": ["SET:storetest:zone"]}}})"}},
    };
    return plugins;
}

class RecordingNotifications : public TarnConfigManager::TaskHandle::Notifications {
public:
    explicit RecordingNotifications(RecordingTask& task, std::string abortAfter,
                                    std::shared_ptr<std::atomic<bool>> aborted)
        : task_(task), abortAfter_(std::move(abortAfter)), aborted_(std::move(aborted)) {}

    void PluginInfo(const std::string& id, const std::list<std::string>& args) override {
        task_.notifications.push_back({id, {args.begin(), args.end()}, false});
        bool applied =
            id == "com.corvid.tarn.settings.apply.plugin.finished" && args.front() == abortAfter_;
        bool judged = id == "com.corvid.tarn.settings.impact.plugin.finished" &&
                      abortAfter_ == RecordingTask::kAnyImpactPlugin;
        if (applied || judged) {
            aborted_->store(true);
        }
    }
    void PluginError(TarnConfigManager::ErrorInfo error) override {
        task_.notifications.push_back({error.id, error.args, true});
    }

private:
    RecordingTask& task_;
    std::string abortAfter_;
    std::shared_ptr<std::atomic<bool>> aborted_;
};

}  // namespace

std::string CallLog() {
    return RootPath("var/tmp/store-plugin/calls.jsonl");
}

rapidjson::Document Json(const std::string& text) {
    rapidjson::Document document;
    TarnConfigStore::JsonParseError error;
    if (!TarnConfigStore::ParseJsonText(text, document, &error)) {
        ADD_FAILURE() << error.message << " at " << error.offset << " in " << text;
    }
    return document;
}

std::string Text(const rapidjson::Value& value) {
    return TarnConfigStore::WriteJsonText(value);
}

rapidjson::Document Desired(const std::vector<std::pair<std::string, std::string>>& changes) {
    rapidjson::Document document = Json(kHostDocument);
    for (const auto& [pointer, text] : changes) {
        rapidjson::Value value;
        value.CopyFrom(Json(text), document.GetAllocator());
        rapidjson::Pointer(pointer.c_str()).Set(document, value);
    }
    return document;
}

void PutCurrent(const std::string& documentText) {
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    rapidjson::Document document = Json(documentText);
    for (auto& component : document.GetObject()) {
        for (auto& group : component.value.GetObject()) {
            for (auto& key : group.value.GetObject()) {
                std::string c = component.name.GetString(), g = group.name.GetString(),
                            k = key.name.GetString();
                TarnConfigStore::DeleteRows(connection, TarnConfigStore::RowTable::kCurrent,
                                            {k, g, c});
                if (!key.value.IsArray()) {
                    TarnConfigStore::PutCurrentRow(connection, c, g, k, "", Text(key.value));
                    continue;
                }
                for (const auto& instance : key.value.GetArray()) {
                    TarnConfigStore::PutCurrentRow(connection, c, g, k,
                                                   instance["name"].GetString(), Text(instance));
                }
            }
        }
    }
}

bool Complies(rapidjson::Document desired) {
    TarnConfigManager::ComplianceResult result;
    TarnConfigManager::CheckCompliance(desired, false, result,
                                       TarnConfigManager::TaskHandle::Dummy());
    EXPECT_TRUE(result.compliant) << Text(result.document);
    return result.compliant;
}

std::vector<rapidjson::Document> PluginCalls() {
    std::vector<rapidjson::Document> calls;
    std::ifstream log(CallLog());
    for (std::string line; std::getline(log, line);) {
        calls.push_back(Json(line));
    }
    return calls;
}

std::vector<std::string> CallNames() {
    std::vector<std::string> names;
    for (const rapidjson::Document& call : PluginCalls()) {
        names.push_back(std::string(call["plugin"].GetString()) + " " +
                        (call.HasMember("operation") ? call["operation"].GetString() : "SIGNAL"));
    }
    return names;
}

std::vector<std::string> AppliedPlugins() {
    std::vector<std::string> applied;
    for (const rapidjson::Document& call : PluginCalls()) {
        if (call.HasMember("operation") && call["operation"] == "APPLY") {
            applied.push_back(call["plugin"].GetString());
        }
    }
    return applied;
}

std::string RunningMarker() {
    return RootPath("var/tmp/store-plugin/running");
}

void ApplyHostTest::SetUp() {
    HostRootTest::SetUp();
    InstallPluginRunners();
    InstallManifestSchemas();
    fs::create_directories(fs::path(CallLog()).parent_path());
    for (const HostKey& key : kKeys) {
        InstallKeySchema("host", key.group, key.key, key.schema);
    }
    PutCurrent(kHostDocument);
    for (const auto& [id, plugin] : HostPlugins()) {
        InstallPlugin(plugin.first, plugin.second);
    }
}

void ApplyHostTest::InstallPlugin(const std::string& folder, const std::string& manifest,
                                  const std::string& setup) {
    std::string path = InstallManifest(folder, manifest);
    fs::path module = fs::path(path).parent_path() / "plugin.py";
    fs::remove(module);
    fs::create_symlink(kPluginSource, module);
    rapidjson::Document document = Json(setup);
    auto& allocator = document.GetAllocator();
    document.AddMember("store", rapidjson::StringRef(TarnPaths::kConfigStoreDb), allocator);
    document.AddMember("log", rapidjson::Value(CallLog(), allocator), allocator);
    document.AddMember("running", rapidjson::Value(RunningMarker(), allocator), allocator);
    WriteFile((fs::path(path).parent_path() / "setup").string(), Text(document));
}

void ApplyHostTest::Configure(const std::string& pluginId, const std::string& setup) {
    const auto& plugin = HostPlugins().at(pluginId);
    InstallPlugin(plugin.first, plugin.second, setup);
}

bool RecordingTask::IsAborted() {
    return aborted->load() || (!abortFile.empty() && fs::exists(abortFile));
}

std::shared_ptr<TarnConfigManager::TaskHandle::Notifications> RecordingTask::AddNotification() {
    return std::make_shared<RecordingNotifications>(*this, abortAfter, aborted);
}

std::shared_ptr<TarnConfigManager::TaskHandle> RecordingTask::ChildTask(int weight) {
    auto child = std::make_shared<RecordingTask>();
    child->aborted = aborted;
    child->abortAfter = abortAfter;
    child->abortFile = abortFile;
    children.push_back(child);
    childWeights.push_back(weight);
    return child;
}

}  // namespace TarnTest
