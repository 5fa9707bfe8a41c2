// Plugin operations end to end: the real runners run the test plugins of both languages as
// child processes; results, failures, aborts and the fixed files are checked.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "deadline.h"
#include "deradidezivizoda/plugins/plugin.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "deradidezivizoda/plugins/plugin_request.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "host_root_fixture.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "schema_files.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"
#include "tarn/pluginsupport/extract_plugin_result.h"
#include "tarn/pluginsupport/impact_plugin_result.h"
#include "tarn/pluginsupport/validation_plugin_result.h"

namespace TCM = TarnConfigManager;
using TarnConfigStore::ConfigStoreObject;
using TarnConfigStore::ConfigStoreObjectId;

namespace {

const char kKeyDefinition[] = R"({"type": "object", "properties": {"level": {"type": "integer"}}})";

// A task with an id, aborted from the start or once a file exists. IsAborted runs on the
// monitor thread.
class TestTask : public TCM::TaskHandle {
public:
    explicit TestTask(bool aborted, std::string abortOnFile = "")
        : aborted_(aborted), abortOnFile_(std::move(abortOnFile)) {}
    bool IsAborted() override {
        return aborted_ || (!abortOnFile_.empty() && TarnTest::PathExists(abortOnFile_));
    }
    std::string GetTaskId() const override { return "task-7"; }

private:
    const bool aborted_;
    const std::string abortOnFile_;
};

std::shared_ptr<TCM::PluginMonitor> Monitor(bool aborted = false) {
    return std::make_shared<TCM::TaskPluginMonitor>(std::make_shared<TestTask>(aborted));
}

ConfigStoreObjectId ProbeId(const std::string& instance = "") {
    return ConfigStoreObjectId(TarnTest::kTestPluginKey, TarnTest::kTestPluginGroup,
                               TarnTest::kTestPluginComponent, instance);
}

std::shared_ptr<ConfigStoreObject> Probe(const std::string& instance, int level) {
    return TarnConfigStore::CreateObject(ProbeId(instance),
                                         "{\"level\":" + std::to_string(level) + "}", {});
}

// Two changes: one with a drift, one with only a cached drift.
std::vector<TCM::DesiredConfigInput> Changes() {
    auto cached = std::make_shared<TCM::CachedDriftObject>();
    cached->operation = "SET";
    return {{Probe("a", 1), TarnConfigStore::CreateDriftObject(ProbeId("a"), "ADD", "{}"), "ADD",
             nullptr},
            {Probe("b", 2), nullptr, "SET", cached}};
}

// True when a line of the priority starts with prefix and ends with suffix.
bool Logged(const CSLogger::Capture& capture, int priority, const std::string& prefix,
            const std::string& suffix) {
    for (const auto& line : capture.Lines()) {
        const std::string& text = line.text;
        if (line.priority == priority && text.rfind(prefix, 0) == 0 &&
            text.size() >= prefix.size() + suffix.size() &&
            text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return true;
        }
    }
    return false;
}

bool FixedFilesGone() {
    return !TarnTest::PathExists(TarnPaths::kPluginInputFile) &&
           !TarnTest::PathExists(TarnPaths::kPluginOutputFile);
}

class PluginOperationsTest : public TarnTest::HostRootTest,
                             public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        HostRootTest::SetUp();
        TarnTest::InstallManifestSchemas();
        TarnTest::InstallPluginRunners();
        TarnTest::InstallKeySchema(TarnTest::kTestPluginComponent, TarnTest::kTestPluginGroup,
                                   TarnTest::kTestPluginKey, kKeyDefinition, "");
    }

    std::shared_ptr<TCM::Plugin> Install(const std::string& behaviour) {
        std::string manifest = TarnTest::InstallTestPlugin(GetParam(), behaviour);
        auto plugin = std::make_shared<TCM::Plugin>(manifest.c_str());
        EXPECT_FALSE(plugin->GetSchemaText().empty());
        return plugin;
    }
    std::string Id(const std::string& behaviour) const {
        return std::string(GetParam()) + "test:" + behaviour;
    }

    // Runs each operation once and returns its ErrorInfo, in the order apply, impact,
    // extract, validate.
    std::vector<TCM::ErrorInfo> RunAll(const TCM::Plugin& plugin, bool aborted) {
        std::vector<TCM::ErrorInfo> errors;
        errors.push_back(plugin.Apply(Changes(), "ctx", Monitor(aborted)));
        EXPECT_TRUE(FixedFilesGone());
        errors.push_back(plugin.Impact(Changes(), "ctx", Monitor(aborted)).error);
        EXPECT_TRUE(FixedFilesGone());
        errors.push_back(plugin.Extract({ProbeId()}, "ctx", Monitor(aborted)).error);
        EXPECT_TRUE(FixedFilesGone());
        errors.push_back(plugin.Validate({Probe("a", 1)}, {}, "ctx", Monitor(aborted)).pluginErr);
        EXPECT_TRUE(FixedFilesGone());
        return errors;
    }

    void ExpectFailureIds(const std::vector<TCM::ErrorInfo>& errors, const std::string& behaviour,
                          const char* kind) {
        const char* operations[] = {"apply", "impact", "extract", "validation"};
        ASSERT_EQ(4u, errors.size());
        for (size_t i = 0; i < errors.size(); ++i) {
            EXPECT_EQ(std::string("com.corvid.tarn.settings.") + operations[i] + ".plugin." + kind,
                      errors[i].id);
            EXPECT_EQ(std::vector<std::string>{Id(behaviour)}, errors[i].args);
        }
    }
};

TEST_P(PluginOperationsTest, AWorkingPluginAnswersEveryOperation) {
    auto plugin = Install("ok");
    const std::string& schemaText = plugin->GetSchemaText();

    TCM::ErrorInfo applied = plugin->Apply(Changes(), "ctx", Monitor());
    EXPECT_EQ("", applied.id);
    EXPECT_EQ(schemaText, applied.message);
    EXPECT_TRUE(FixedFilesGone());

    CSLogger::Capture capture;
    TCM::ImpactPluginResult impact = plugin->Impact(Changes(), "ctx", Monitor());
    EXPECT_TRUE(capture.Contains(2, ">> Module result id="));
    EXPECT_EQ("", impact.error.id);
    EXPECT_EQ(schemaText, impact.error.message);
    ASSERT_EQ(2u, impact.impacts.size());
    EXPECT_EQ("a", impact.impacts[0].instanceId);
    EXPECT_EQ(TCM::MAINTENANCE_MODE_REQUIRED, impact.impacts[0].impact);
    EXPECT_FALSE(impact.impacts[0].quickBootCapable);  // the change with a drift
    EXPECT_EQ("b", impact.impacts[1].instanceId);
    EXPECT_TRUE(impact.impacts[1].quickBootCapable);

    TCM::ExtractPluginResult extracted = plugin->Extract({ProbeId()}, "ctx", Monitor());
    EXPECT_EQ("", extracted.error.id);
    ASSERT_EQ(1u, extracted.configs.size());
    EXPECT_EQ(ProbeId(), extracted.configs[0]->GetConfigStoreObjectId());
    EXPECT_EQ("{\"plugin\":\"" + Id("ok") +
                  "\",\"task\":\"task-7\",\"context\":\"ctx\",\"root\":\"" + TarnPaths::kRoot +
                  "\"}",
              extracted.configs[0]->GetSerializedData());

    TCM::ValidationPluginResult validated =
        plugin->Validate({Probe("a", 1), Probe("b", 2)}, {Probe("c", 3)}, "ctx", Monitor());
    EXPECT_EQ("", validated.pluginErr.id);
    EXPECT_EQ(schemaText, validated.pluginErr.message);
    ASSERT_EQ(1u, validated.errors.size());  // both objects' problems share one path
    EXPECT_EQ("/probe/value", validated.errors[0].path);
    ASSERT_EQ(2u, validated.errors[0].messages.size());
    for (size_t i = 0; i < 2; ++i) {
        const TCM::ErrorInfo& message = validated.errors[0].messages[i];
        EXPECT_EQ("test.invalid", message.id);
        EXPECT_EQ((std::vector<std::string>{i == 0 ? "a" : "b", "1"}), message.args);
        EXPECT_EQ(schemaText, message.message);
    }
    EXPECT_TRUE(FixedFilesGone());
}

TEST_P(PluginOperationsTest, ChangesOfOneObjectAreAllHandedToThePlugin) {
    // Both changes are named alike in the request; a cached drift with markers is read too.
    auto cached = std::make_shared<TCM::CachedDriftObject>();
    cached->drift = TarnConfigStore::CreateDriftObject(ProbeId("a"), "SET", "{\"level\":1}");
    cached->operation = "SET";
    std::vector<TCM::DesiredConfigInput> changes{{Probe("a", 1), nullptr, "ADD", nullptr},
                                                 {Probe("a", 2), nullptr, "SET", cached}};
    TCM::ImpactPluginResult impact = Install("ok")->Impact(changes, "ctx", Monitor());
    EXPECT_EQ("", impact.error.id);
    ASSERT_EQ(2u, impact.impacts.size());
    EXPECT_EQ("a", impact.impacts[0].instanceId);
    EXPECT_EQ("a", impact.impacts[1].instanceId);
}

TEST_P(PluginOperationsTest, AnErrorThePluginReportsIsReturnedWithTheSchemaText) {
    auto plugin = Install("error");
    TCM::ImpactPluginResult impact = plugin->Impact(Changes(), "ctx", Monitor());
    EXPECT_EQ("test.plugin.error", impact.error.id);
    EXPECT_EQ(std::vector<std::string>{Id("error")}, impact.error.args);
    EXPECT_EQ(plugin->GetSchemaText(), impact.error.message);
    EXPECT_TRUE(impact.impacts.empty());
}

TEST_P(PluginOperationsTest, ExitStatusTwoEndsWithTheSystemTextForErrorTwo) {
    auto plugin = Install("exit2");
    CSLogger::Capture capture;
    TCM::ErrorInfo error = plugin->Apply(Changes(), "ctx", Monitor());
    EXPECT_EQ("com.corvid.tarn.settings.apply.plugin.unexpected.error", error.id);
    EXPECT_EQ(std::vector<std::string>{Id("exit2")}, error.args);
    EXPECT_EQ("", error.message);  // the run failed before a result was read
    EXPECT_TRUE(Logged(capture, 0, "Config Manager plugin failed: " + Id("exit2") + ", pid=",
                       std::string(", status=") + std::strerror(2)));
    EXPECT_TRUE(FixedFilesGone());
}

TEST_P(PluginOperationsTest, APluginKilledBySignalNineFails) {
    auto plugin = Install("kill9");
    CSLogger::Capture capture;
    TCM::ImpactPluginResult impact = plugin->Impact(Changes(), "ctx", Monitor());
    EXPECT_EQ("com.corvid.tarn.settings.impact.plugin.unexpected.error", impact.error.id);
    EXPECT_TRUE(Logged(capture, 0, "Config Manager plugin failed: " + Id("kill9") + ", pid=",
                       ", terminated with signal=9"));
    // The result id is logged before the failure's id is set.
    EXPECT_TRUE(capture.Contains(2, ">> Module result id="));
    EXPECT_TRUE(FixedFilesGone());
}

TEST_P(PluginOperationsTest, AnAbortTerminatesAHangingPlugin) {
    auto plugin = Install("hang");
    // The abort comes once the plugin has started to hang.
    auto task = std::make_shared<TestTask>(
        false, TarnTest::RootPath("var/corvid/lifecycle/test-plugin-hanging"));
    CSLogger::Capture capture;
    auto start = std::chrono::steady_clock::now();
    TarnTest::Deadline deadline("a plugin run that hangs until it is aborted");
    TCM::ErrorInfo error =
        plugin->Apply(Changes(), "ctx", std::make_shared<TCM::TaskPluginMonitor>(task));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ("com.corvid.tarn.settings.apply.plugin.aborted", error.id);
    EXPECT_EQ(std::vector<std::string>{Id("hang")}, error.args);
    EXPECT_TRUE(capture.Contains(0, "Config Manager plugin was aborted: " + Id("hang")));
    EXPECT_GE(capture.IndexOf("Stopping plugin monitor thread"), 0);
    EXPECT_TRUE(Logged(capture, 2, "Terminating plugin process: ", ""));
    // The monitor polls once a second; the child ends on SIGTERM right away.
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_TRUE(TarnTest::PathExists("var/corvid/lifecycle/test-plugin-hanging"));
    EXPECT_TRUE(FixedFilesGone());
}

TEST_P(PluginOperationsTest, EveryOperationReportsAnAbortWithItsOwnId) {
    ExpectFailureIds(RunAll(*Install("ok"), true), "ok", "aborted");
}

TEST_P(PluginOperationsTest, EveryOperationReportsAMissingResultWithItsOwnId) {
    auto plugin = Install("noresult");
    CSLogger::Capture capture;
    ExpectFailureIds(RunAll(*plugin, false), "noresult", "unexpected.error");
    EXPECT_TRUE(capture.Contains(0, "Extract plugin " + plugin->GetModule() + " failed"));
    EXPECT_TRUE(capture.Contains(0, "Validation plugin " + plugin->GetModule() + " failed"));
}

TEST_P(PluginOperationsTest, MalformedResultsAndRefusedAnswersAreUnexpectedErrors) {
    // A truncated result file fails the loader; a plugin that raises, or answers with values
    // the runner refuses, ends its runner with status 1 and no result file.
    for (const char* behaviour : {"malformed", "raises", "garbage"}) {
        SCOPED_TRACE(behaviour);
        ExpectFailureIds(RunAll(*Install(behaviour), false), behaviour, "unexpected.error");
    }
}

TEST_P(PluginOperationsTest, AMissingModuleFailsTheRunnerWhichLogsWhy) {
    auto plugin = Install("ok");
    std::filesystem::path folder =
        std::filesystem::path(TarnPaths::kPluginDir) / (std::string(GetParam()) + "test/ok");
    bool native = !plugin->GetModule().empty();
    std::filesystem::remove(folder / (native ? plugin->GetModule() : "plugin.py"));
    TCM::ErrorInfo error = plugin->Apply(Changes(), "ctx", Monitor());
    EXPECT_EQ("com.corvid.tarn.settings.apply.plugin.unexpected.error", error.id);
    std::string logged = TarnTest::ReadFile(TarnPaths::kLogFile);
    std::string reason = native ? "cannot load the plugin module" : "no plugin module";
    EXPECT_NE(std::string::npos, logged.find("[error] " + std::string(native ? "cpp" : "py") +
                                             "_plugin_runner: plugin " + Id("ok") + ": " + reason))
        << logged;
    EXPECT_TRUE(FixedFilesGone());
}

INSTANTIATE_TEST_SUITE_P(Languages, PluginOperationsTest, ::testing::Values("cpp", "python"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
