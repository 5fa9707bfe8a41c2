// One plugin run of a runner that exits at once, against starting and reaping the same
// program directly: the run should cost what the child costs, not the monitor's poll interval.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "deradidezivizoda/plugins/plugin_launcher.h"
#include "tarn/paths.h"

namespace {

void InstallTrivialRunner() {
    std::filesystem::create_directories(
        std::filesystem::path(TarnPaths::kPyPluginRunner).parent_path());
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

}  // namespace

BENCHMARK_MAIN();
