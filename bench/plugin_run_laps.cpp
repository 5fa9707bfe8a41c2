#include "plugin_run_laps.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "host_root_fixture.h"
#include "plugin_install.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/paths.h"

namespace TarnBench {

namespace {

const char kGroupArgument[] = "++group=host/kiln/hostcore/configManagerPlugin,stats";

double Seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// A request file left behind would make the library's next request replace an existing
// file, which the file system answers by writing the old one out first.
void RemoveRunFiles() {
    std::remove(TarnPaths::kPluginInputFile);
    std::remove(TarnPaths::kPluginOutputFile);
}

}  // namespace

std::string KeyedDocument(const std::string& component, const std::string& group,
                          const std::string& key, int speed) {
    std::string text = "{\"" + component + "\": {\"" + group + "\": {\"" + key + "\": [";
    for (int i = 0; i < kObjects; ++i) {
        text += (i ? "," : "") + std::string(R"({"name": "p)") + std::to_string(i) +
                R"(", "speed": )" + std::to_string(speed) + "}";
    }
    return text + "]}}}";
}

void PutCurrentInstances(const std::string& component, const std::string& group,
                         const std::string& key) {
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    for (int i = 0; i < kObjects; ++i) {
        std::string name = "p" + std::to_string(i);
        TarnConfigStore::PutCurrentRow(connection, component, group, key, name,
                                       R"({"name": ")" + name + R"(", "speed": 1000})");
    }
}

bool SpawnAndWait(const char* runner) {
    char* argv[] = {const_cast<char*>(runner), const_cast<char*>(kGroupArgument), nullptr};
    char* envp[] = {nullptr};
    pid_t pid;
    if (posix_spawn(&pid, runner, nullptr, nullptr, argv, envp) != 0) {
        return false;
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> RecordedCppRequests(const std::function<void()>& run) {
    namespace fs = std::filesystem;
    const std::string copy = std::string(TarnPaths::kPluginInputFile) + ".seen";
    std::string real = fs::read_symlink(TarnPaths::kCppPluginRunner).string();
    fs::remove(TarnPaths::kCppPluginRunner);
    TarnTest::WriteFile(TarnPaths::kCppPluginRunner,
                        "#!/bin/sh\nn=0\nwhile [ -e " + copy + "$n ]; do n=$((n + 1)); done\n" +
                            "/bin/cp " + TarnPaths::kPluginInputFile + " " + copy + "$n\nexec " +
                            real + " \"$@\"\n");
    fs::permissions(TarnPaths::kCppPluginRunner, fs::perms::owner_all);
    run();
    fs::remove(TarnPaths::kCppPluginRunner);
    TarnTest::InstallPluginRunners();
    std::vector<std::string> requests;
    for (int i = 0; TarnTest::PathExists(copy + std::to_string(i)); ++i) {
        requests.push_back(TarnTest::ReadFile(copy + std::to_string(i)));
        std::remove((copy + std::to_string(i)).c_str());
    }
    return requests;
}

Lap Lap::Now() {
    rusage self{};
    rusage children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return {
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
        Seconds(self.ru_utime) + Seconds(self.ru_stime),
        Seconds(children.ru_utime) + Seconds(children.ru_stime),
        Seconds(self.ru_stime),
        static_cast<double>(self.ru_minflt),
    };
}

void Lap::Add(const Lap& start, const Lap& end) {
    wall += end.wall - start.wall;
    self += end.self - start.self;
    children += end.children - start.children;
    selfSystem += end.selfSystem - start.selfSystem;
    selfFaults += end.selfFaults - start.selfFaults;
}

bool BareRuns(const char* runner, const std::vector<std::string>& requests, Lap* laps,
              benchmark::State* state) {
    for (const std::string& request : requests) {
        TarnTest::WriteFile(TarnPaths::kPluginInputFile, request);
        if (state) {
            state->ResumeTiming();
        }
        Lap start = Lap::Now();
        bool ran = SpawnAndWait(runner);
        if (laps) {
            laps->Add(start, Lap::Now());
        }
        if (state) {
            state->PauseTiming();
        }
        RemoveRunFiles();
        if (!ran) {
            return false;
        }
    }
    return true;
}

void ReportOutside(benchmark::State& state, const Lap& library, const Lap& bare,
                   const char* bareCounter) {
    state.counters[bareCounter] = 1e3 * bare.wall / static_cast<double>(state.iterations());
    state.counters["outside_pct"] = 100.0 * (library.wall - bare.wall) / library.wall;
    state.counters["outside_cpu_pct"] = 100.0 * library.self / (library.self + library.children);
    const double iterations = static_cast<double>(state.iterations());
    state.counters["self_sys_ms"] = 1e3 * library.selfSystem / iterations;
    state.counters["self_faults"] = library.selfFaults / iterations;
}

}  // namespace TarnBench
