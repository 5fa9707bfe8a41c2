// What a plugin run costs beside the child process itself, two ways:
// - PluginLauncher around a runner that exits at once (a /bin/sh script in place of the
//   Python runner), against starting and reaping the same program directly;
// - Plugin::Apply of a plugin whose apply does nothing, through the real C++ and Python
//   runners, against the bare posix_spawn and waitpid of the same runner doing the same run
//   (its request left in place).
// - the same two in turns within each iteration (BM_RunnerThenApply), the bare run writing its
//   request untimed and removing its request and result files as the library does, so that
//   both see the same load and the same file system work.
// The run should cost what the child costs, not the monitor's poll interval. The benchmark
// lays out the build's host root as the tests do, so it wipes that root.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "deradidezivizoda/plugins/plugin.h"
#include "deradidezivizoda/plugins/plugin_launcher.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "deradidezivizoda/plugins/plugin_request.h"
#include "host_root_fixture.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "plugin_run_laps.h"
#include "schema_files.h"
#include "tarn/paths.h"

namespace {

using TarnConfigManager::Plugin;

const char kGroupArgument[] = "++group=host/kiln/hostcore/configManagerPlugin,stats";

// A Python runner that exits at once. The file is replaced, not written through: the tests
// leave the runner's path a link into the build's stage folder.
void InstallTrivialRunner() {
    std::filesystem::create_directories(
        std::filesystem::path(TarnPaths::kPyPluginRunner).parent_path());
    std::filesystem::remove(TarnPaths::kPyPluginRunner);
    std::ofstream(TarnPaths::kPyPluginRunner, std::ios::trunc) << "#!/bin/sh\nexit 0\n";
    chmod(TarnPaths::kPyPluginRunner, 0755);
}

void BM_SpawnAndReap(benchmark::State& state) {
    InstallTrivialRunner();
    char* argv[] = {const_cast<char*>(TarnPaths::kPyPluginRunner), nullptr};
    char* envp[] = {nullptr};
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawn(&pid, TarnPaths::kPyPluginRunner, nullptr, nullptr, argv, envp) != 0) {
            state.SkipWithError("cannot start the runner");
            break;
        }
        int status;
        waitpid(pid, &status, 0);
    }
}
BENCHMARK(BM_SpawnAndReap)->Unit(benchmark::kMillisecond);

void BM_PluginRun(benchmark::State& state) {
    InstallTrivialRunner();
    auto monitor = TarnConfigManager::PluginMonitor::Dummy();
    for (auto _ : state) {
        TarnConfigManager::PluginLauncher launcher(
            "bench", 1, "APPLY", std::vector<TarnConfigManager::DesiredConfigInput>{}, "python",
            "");
        launcher.Dump(TarnPaths::kPluginInputFile, "", "");
        launcher.ForkPlugin(monitor);
    }
}
BENCHMARK(BM_PluginRun)->Unit(benchmark::kMillisecond);

// The "ok" test plugin of the language, in a freshly laid out root.
const Plugin& NoopPlugin(const std::string& language) {
    static std::map<std::string, std::unique_ptr<Plugin>> plugins;
    if (plugins.empty()) {
        TarnTest::ResetHostRoot();
        TarnTest::InstallManifestSchemas();
        TarnTest::InstallPluginRunners();
        TarnTest::InstallKeySchema(TarnTest::kTestPluginComponent, TarnTest::kTestPluginGroup,
                                   TarnTest::kTestPluginKey,
                                   "{\"type\": \"object\", \"properties\": {}}", "");
    }
    std::unique_ptr<Plugin>& plugin = plugins[language];
    if (!plugin) {
        plugin = std::make_unique<Plugin>(TarnTest::InstallTestPlugin(language, "ok").c_str());
    }
    return *plugin;
}

void BM_BareRunner(benchmark::State& state, const std::string& language) {
    const Plugin& plugin = NoopPlugin(language);
    TarnConfigManager::PluginRequest request(plugin.GetId(), "APPLY", plugin.GetModule(),
                                             static_cast<int>(plugin.GetVersion()),
                                             std::vector<TarnConfigManager::DesiredConfigInput>());
    request.Dump(TarnPaths::kPluginInputFile, "", "");
    const char* runner =
        language == "python" ? TarnPaths::kPyPluginRunner : TarnPaths::kCppPluginRunner;
    for (auto _ : state) {
        if (!TarnBench::SpawnAndWait(runner)) {
            state.SkipWithError("the runner failed");
            break;
        }
    }
    unlink(TarnPaths::kPluginInputFile);
    unlink(TarnPaths::kPluginOutputFile);
}

void BM_PluginApply(benchmark::State& state, const std::string& language) {
    const Plugin& plugin = NoopPlugin(language);
    auto monitor = TarnConfigManager::PluginMonitor::Dummy();
    for (auto _ : state) {
        TarnConfigManager::ErrorInfo error = plugin.Apply({}, "", monitor);
        if (!error.id.empty()) {
            state.SkipWithError(error.id.c_str());
            break;
        }
    }
}

// A bare run and a Plugin::Apply in turns; counters: bare_ms, apply_ms and their difference.
void BM_RunnerThenApply(benchmark::State& state, const std::string& language) {
    using Clock = std::chrono::steady_clock;
    const Plugin& plugin = NoopPlugin(language);
    TarnConfigManager::PluginRequest request(plugin.GetId(), "APPLY", plugin.GetModule(),
                                             static_cast<int>(plugin.GetVersion()),
                                             std::vector<TarnConfigManager::DesiredConfigInput>());
    const char* runner =
        language == "python" ? TarnPaths::kPyPluginRunner : TarnPaths::kCppPluginRunner;
    auto monitor = TarnConfigManager::PluginMonitor::Dummy();
    std::chrono::duration<double, std::milli> bare{0}, apply{0};
    for (auto _ : state) {
        request.Dump(TarnPaths::kPluginInputFile, "", "");
        auto start = Clock::now();
        bool ran = TarnBench::SpawnAndWait(runner);
        bare += Clock::now() - start;
        unlink(TarnPaths::kPluginInputFile);
        unlink(TarnPaths::kPluginOutputFile);
        start = Clock::now();
        TarnConfigManager::ErrorInfo error = plugin.Apply({}, "", monitor);
        apply += Clock::now() - start;
        if (!ran || !error.id.empty()) {
            state.SkipWithError("a run failed");
            break;
        }
    }
    double n = static_cast<double>(state.iterations());
    state.counters["bare_ms"] = bare.count() / n;
    state.counters["apply_ms"] = apply.count() / n;
    state.counters["added_ms"] = (apply - bare).count() / n;
}

}  // namespace

BENCHMARK_CAPTURE(BM_RunnerThenApply, cpp, std::string("cpp"))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunnerThenApply, python, std::string("python"))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BareRunner, cpp, std::string("cpp"))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PluginApply, cpp, std::string("cpp"))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BareRunner, python, std::string("python"))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PluginApply, python, std::string("python"))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
