// Validate end to end: the schema phase with the real validator, the plugin phase with real
// Python plugins (tests/validation/plugins/plugin.py) run by the real runner.
#include "deradidezivizoda/validation/validate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <list>
#include <map>

#include "deradidezivizoda/plugins/plugin_manager.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "host_root_fixture.h"
#include "json_test_text.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "schema_files.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace TarnConfigManager {
namespace {

using TarnTest::ParseJson;

namespace fs = std::filesystem;

const char kIdPrefix[] = "com.corvid.tarn.settings.";

// Message ids without the common prefix, for readable expectations.
std::string ShortId(const std::string& id) {
    return id.rfind(kIdPrefix, 0) == 0 ? id.substr(sizeof(kIdPrefix) - 1) : id;
}

std::string Describe(const std::string& id, const std::list<std::string>& args) {
    std::string text = ShortId(id);
    for (const std::string& arg : args) {
        text += " " + arg;
    }
    return text;
}

// A task that records progress and notifications and aborts when told to.
class RecordingTask : public TaskHandle {
public:
    class Recorder : public Notifications {
    public:
        explicit Recorder(std::vector<std::string>& notes) : notes_(notes) {}
        void PluginInfo(const std::string& id, const std::list<std::string>& args) override {
            notes_.push_back(Describe(id, args));
        }
        void PluginError(ErrorInfo error) override {
            notes_.push_back("error " + Describe(error.id, {error.args.begin(), error.args.end()}));
        }

    private:
        std::vector<std::string>& notes_;
    };

    bool IsAborted() override {
        ++abortChecks;
        return aborted;
    }
    void UpdateProgress(float value) override { progress.push_back(value); }
    std::shared_ptr<Notifications> AddNotification() override {
        return std::make_shared<Recorder>(notes);
    }

    std::atomic<bool> aborted{false};
    std::atomic<int> abortChecks{0};
    std::vector<float> progress;
    std::vector<std::string> notes;
};

// path -> its messages as "<id> <args>[ | <message>]", independent of the result's order.
std::map<std::string, std::vector<std::string>> ByPath(const ValidationResult& result) {
    std::map<std::string, std::vector<std::string>> paths;
    for (const ValidationErrorInfo& entry : result.errors) {
        auto& messages = paths[entry.path];
        for (const ErrorInfo& message : entry.messages) {
            messages.push_back(Describe(message.id, {message.args.begin(), message.args.end()}) +
                               (message.message.empty() ? "" : " | " + message.message));
        }
    }
    return paths;
}

class ValidateTest : public TarnTest::HostRootTest {
protected:
    void SetUp() override {
        TarnTest::HostRootTest::SetUp();
        TarnTest::InstallManifestSchemas();
        TarnTest::InstallPluginRunners();
        TarnTest::InstallKeySchema("net", "dns", "resolver", R"({"type": "object",
            "properties": {"domain": {"type": "string", "minLength": 5, "pattern": "^a"}}})",
                                   "");
        TarnTest::InstallKeySchema(
            "net", "dns", "servers",
            R"({"type": "object", "properties": {"name": {"type": "string"}}})", "name");
        TarnTest::InstallKeySchema("net", "dns", "search",
                                   R"({"type": "object", "properties": {}})", "");
        TarnTest::InstallKeySchema("net", "dns", "hosts", R"({"type": "object", "properties": {}})",
                                   "");
    }

    // Installs plugin "validation:<key>" validating net:dns:<key>, with references.
    static void InstallPlugin(const std::string& key, const std::string& references = "") {
        std::string manifest = R"({"version": 2, "type": "python", "accepts": ["net:dns:)" + key +
                               R"("], "validation": {"supports": true, "references": [)" +
                               references + "]}}";
        fs::path path = TarnTest::InstallManifest("validation/" + key, manifest);
        fs::create_symlink(TARN_SOURCE_DIR "/tests/validation/plugins/plugin.py",
                           path.parent_path() / "plugin.py");
    }

    // What plugin validation:<key> was last given (seen.log), or "" when it never ran.
    static std::string Seen(const std::string& key) {
        std::string path = std::string(TarnPaths::kPluginDir) + "validation/" + key + "/seen.log";
        if (!TarnTest::PathExists(path)) {
            return "";
        }
        return TarnConfigStore::WriteJsonText(ParseJson(TarnTest::ReadFile(path)));
    }

    // The plugin ids in the order the plugin manager runs them.
    static std::vector<std::string> PluginOrder() {
        std::vector<std::string> ids;
        for (const auto& plugin : PluginManager(VALIDATE).GetPlugins()) {
            ids.push_back(plugin->GetId());
        }
        return ids;
    }

    // Validates the document against its host document schema.
    ValidationResult Run(const std::string& text) {
        rapidjson::Document document = ParseJson(text);
        HostDocumentSchema generated = GenerateHostDocumentSchema(document);
        return Run(document, boost::get<rapidjson::Document>(generated), true);
    }

    ValidationResult Run(const rapidjson::Document& document, const rapidjson::Document& schema,
                         bool validateSchema) {
        ValidationResult result;
        Validate(document, schema, "context", result, validateSchema, task_);
        return result;
    }

    std::shared_ptr<RecordingTask> task_ = std::make_shared<RecordingTask>();
};

TEST_F(ValidateTest, SchemaErrorsBelowAKeyKeepItsPluginsFromRunning) {
    InstallPlugin("resolver");
    InstallPlugin("search");
    ValidationResult result = Run(R"({"net": {"dns": {"resolver": {"domain": "b"},
        "search": {"report": {"/net/dns/resolver/domain": ["dns.conflict"],
                              "/net/dns/search": ["dns.odd"]}}}}})");

    // The validator's two findings at one path, in its order, then the plugin's.
    EXPECT_EQ((std::map<std::string, std::vector<std::string>>{
                  {"/net/dns/resolver/domain",
                   {"validator.string-too-short 5", "validator.pattern-mismatch ^a",
                    "dns.conflict search | net.dns.search@1"}},
                  {"/net/dns/search", {"dns.odd search | net.dns.search@1"}}}),
              ByPath(result));
    EXPECT_TRUE(result.pluginErr.id.empty());
    EXPECT_EQ("", Seen("resolver"));
    EXPECT_EQ((std::vector<std::string>{"validation.plugin.started validation:search",
                                        "validation.plugin.finished validation:search"}),
              task_->notes);
    EXPECT_EQ((std::vector<float>{20.0f, 60.0f}), task_->progress);
}

// An error at the key itself (its value has the wrong type) keeps the key's plugins from
// running too, while the plugins of the other keys run.
TEST_F(ValidateTest, ASchemaErrorAtTheKeyItselfKeepsItsPluginsFromRunning) {
    InstallPlugin("resolver");
    InstallPlugin("search");
    ValidationResult result = Run(R"({"net": {"dns": {"resolver": "b", "search": {}}}})");
    std::map<std::string, std::vector<std::string>> found = ByPath(result);
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ("/net/dns/resolver", found.begin()->first);
    EXPECT_EQ("", Seen("resolver"));
    EXPECT_EQ(2u, task_->notes.size());
}

TEST_F(ValidateTest, SchemaErrorsAboveKeysKeepNoPluginFromRunning) {
    InstallPlugin("resolver");
    rapidjson::Document schema = ParseJson(R"({"properties": {"net": {"minProperties": 2,
        "properties": {"dns": {"minProperties": 9}}}}})");
    ValidationResult result =
        Run(ParseJson(R"({"net": {"dns": {"resolver": {"report": {"/net/dns": ["dns.small"]}}}}})"),
            schema, true);
    EXPECT_EQ((std::map<std::string, std::vector<std::string>>{
                  {"/net", {"validator.too-few-properties 2"}},
                  {"/net/dns",
                   {"validator.too-few-properties 9", "dns.small resolver | net.dns.resolver@1"}}}),
              ByPath(result));
    EXPECT_EQ(2u, task_->notes.size());
}

TEST_F(ValidateTest, EveryPluginThatRunsAdvancesTheProgress) {
    InstallPlugin("resolver", R"("net:dns:servers")");
    InstallPlugin("servers");
    InstallPlugin("search");
    InstallPlugin("hosts");
    ValidationResult result = Run(R"({"profile": {"net": {"dns": {"resolver": {"domain": "alpha"},
        "servers": [{"name": "a"}, {"name": "b"}], "search": {}, "hosts": {}}}}})");

    EXPECT_TRUE(result.errors.empty());
    EXPECT_TRUE(result.pluginErr.id.empty());
    EXPECT_EQ((std::vector<float>{20.0f, 40.0f, 60.0f, 80.0f, 100.0f}), task_->progress);
    std::vector<std::string> notes;
    for (const std::string& id : PluginOrder()) {
        notes.push_back("validation.plugin.started " + id);
        notes.push_back("validation.plugin.finished " + id);
    }
    EXPECT_EQ(notes, task_->notes);
    EXPECT_EQ(
        R"({"inputs":[["net","dns","resolver",""]],"references":[["net","dns","servers","a"],)"
        R"(["net","dns","servers","b"]],"context":"context"})",
        Seen("resolver"));
    EXPECT_EQ(R"({"inputs":[["net","dns","servers","a"],["net","dns","servers","b"]],)"
              R"("references":[],"context":"context"})",
              Seen("servers"));
}

TEST_F(ValidateTest, PluginsWithoutObjectsAreNeitherNotifiedNorCounted) {
    InstallPlugin("resolver");
    InstallPlugin("search");
    InstallPlugin("hosts");
    ValidationResult result =
        Run(R"({"net": {"dns": {"resolver": "DELETE_DEFAULT", "search": {}}}})");
    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ((std::vector<std::string>{"validation.plugin.started validation:search",
                                        "validation.plugin.finished validation:search"}),
              task_->notes);
    EXPECT_EQ((std::vector<float>{20.0f, 20.0f + 80.0f / 3.0f}), task_->progress);
    EXPECT_EQ("", Seen("resolver"));
    EXPECT_EQ("", Seen("hosts"));
}

TEST_F(ValidateTest, AnAbortBeforeThePluginsDropsEveryPathError) {
    InstallPlugin("resolver");
    InstallPlugin("search");
    task_->aborted = true;
    CSLogger::Capture capture;
    ValidationResult result = Run(R"({"net": {"dns": {"resolver": {"domain": "b"},
                                                     "search": {}}}})");
    EXPECT_EQ(
        ErrorInfo("com.corvid.tarn.settings.validation.plugin.aborted", {PluginOrder().front()}),
        result.pluginErr);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_TRUE(task_->notes.empty());
    EXPECT_EQ(std::vector<float>{20.0f}, task_->progress);
    EXPECT_NE(-1, capture.IndexOf("Validation aborted, returning..."));
}

TEST_F(ValidateTest, AFailedPluginEndsTheRunWithItsError) {
    InstallPlugin("resolver");
    InstallPlugin("search");
    ValidationResult result = Run(R"({"net": {"dns": {"resolver": {"fail": "dns.broken"},
        "search": {"report": {"/x": ["dns.odd"]}}, "hosts": []}}})");

    EXPECT_EQ(ErrorInfo("dns.broken", {"validation:resolver"}, "net.dns.resolver@1"),
              result.pluginErr);
    EXPECT_TRUE(result.errors.empty());  // neither the schema's nor the other plugin's
    std::vector<std::string> notes;
    for (const std::string& id : PluginOrder()) {
        notes.push_back("validation.plugin.started " + id);
        if (id == "validation:resolver") {
            notes.push_back("error dns.broken validation:resolver");
            break;
        }
        notes.push_back("validation.plugin.finished " + id);
    }
    EXPECT_EQ(notes, task_->notes);
}

TEST_F(ValidateTest, WithoutPluginsOnlyTheSchemaCountsAndAbortsAreNotRead) {
    task_->aborted = true;
    ValidationResult result = Run(R"({"net": {"dns": {"hosts": []}}})");
    EXPECT_EQ((std::map<std::string, std::vector<std::string>>{
                  {"/net/dns/hosts", {"validator.type-mismatch object array"}}}),
              ByPath(result));
    EXPECT_TRUE(result.pluginErr.id.empty());
    EXPECT_EQ(0, task_->abortChecks);
    EXPECT_EQ(std::vector<float>{20.0f}, task_->progress);

    // Without the schema phase an invalid document passes.
    ValidationResult unchecked =
        Run(ParseJson(R"({"net": {"dns": {"hosts": []}}})"), ParseJson("{}"), false);
    EXPECT_EQ("{}", unchecked.Serialize());

    try {
        Run(ParseJson("[]"), ParseJson("{}"), false);
        ADD_FAILURE() << "an array was validated as a document";
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        EXPECT_EQ(1082, e.GetCode());
    }
}

}  // namespace
}  // namespace TarnConfigManager
