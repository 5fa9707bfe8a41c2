// CheckApply followed by Apply of a change of 1 000 objects (every instance of one keyed key
// changed) through a Python plugin that judges each change as free and applies nothing, so
// every iteration does the same work: 3 plugin runs (impact for CheckApply, impact and apply
// for Apply) around the library's own work (3 extractions of the current configuration,
// 3 drift walks, the drift cache, requests and results of 1 000 objects).
// BM_BarePluginRuns starts the same runner on requests of the same 1 000 objects the same
// 3 times, directly: what the plugin processes alone cost. BM_CheckApplyApply reports the
// share of its time spent outside them (counter outside_pct: its real time less the bare runs'
// median, over its real time) and, robust against other load on the machine, the share of
// CPU time spent outside the plugin processes (outside_cpu_pct: this process's CPU time over
// that plus its children's). The benchmark lays out the build's host root as the tests do, so
// it wipes that root.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "deradidezivizoda/apply/apply.h"
#include "deradidezivizoda/apply/apply_task_generator.h"
#include "deradidezivizoda/apply/check_apply.h"
#include "deradidezivizoda/plugins/plugin_request.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "host_root_fixture.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "schema_files.h"
#include "tarn/configstore/json_text.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/paths.h"

namespace {

using namespace TarnConfigManager;

constexpr int kObjects = 1000;
const char kGroupArgument[] = "++group=host/kiln/hostcore/configManagerPlugin,stats";

const char kNoopPlugin[] = R"(import tarn_plugin as tp


@tp.apply
def apply(request):
    pass


@tp.impact
def impact(request):
    return [tp.ImpactVerdict(change.id, tp.Impact.NONE) for change in request.inputs]
)";

std::string Ports(int speed) {
    std::string text = R"({"bench": {"net": {"ports": [)";
    for (int i = 0; i < kObjects; ++i) {
        text += (i ? "," : "") + std::string(R"({"name": "p)") + std::to_string(i) +
                R"(", "speed": )" + std::to_string(speed) + "}";
    }
    return text + "]}}}";
}

rapidjson::Document Parse(const std::string& text) {
    rapidjson::Document document;
    TarnConfigStore::ParseJsonText(text, document);
    return document;
}

// A fresh root holding 1 000 ports at speed 1000 and the no-op plugin serving them.
void LayOutHost() {
    TarnTest::ResetHostRoot();
    TarnTest::InstallManifestSchemas();
    TarnTest::InstallPluginRunners();
    TarnTest::InstallKeySchema("bench", "net", "ports", R"({"type": "object", "properties": {
        "name": {"type": "string"}, "speed": {"type": "integer"}}})",
                               "name");
    std::string manifest = TarnTest::InstallManifest("bench/ports", R"({"version": 2,
        "type": "python", "accepts": ["bench:net:ports"], "apply": {"apply_group": "network",
        "boot": false, "operations": {"set": {"provides": "SET:bench:ports", "depends": []}}},
        "impact": {"supports": true, "cache_drift": ["bench:net:ports"]}})");
    TarnTest::WriteFile(manifest.substr(0, manifest.rfind('/')) + "/plugin.py", kNoopPlugin);
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    for (int i = 0; i < kObjects; ++i) {
        std::string name = "p" + std::to_string(i);
        TarnConfigStore::PutCurrentRow(connection, "bench", "net", "ports", name,
                                       R"({"name": ")" + name + R"(", "speed": 1000})");
    }
}

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool RunRunner() {
    char* argv[] = {const_cast<char*>(TarnPaths::kPyPluginRunner),
                    const_cast<char*>(kGroupArgument), nullptr};
    char* envp[] = {nullptr};
    pid_t pid;
    if (posix_spawn(&pid, TarnPaths::kPyPluginRunner, nullptr, nullptr, argv, envp) != 0) {
        return false;
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The three plugin processes of one CheckApply and Apply, started directly on requests of
// the same objects; seconds.
double BarePluginRuns() {
    rapidjson::Document desired = Parse(Ports(10));
    std::vector<DesiredConfigInput> inputs = GenerateApplyTasks(desired);
    auto start = std::chrono::steady_clock::now();
    for (const char* operation : {"IMPACT", "IMPACT", "APPLY"}) {
        PluginRequest request("bench:ports", operation, "", 2, inputs);
        request.Dump(TarnPaths::kPluginInputFile, "", "");
        if (!RunRunner()) {
            return -1;
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_BarePluginRuns(benchmark::State& state) {
    LayOutHost();
    for (auto _ : state) {
        if (BarePluginRuns() < 0) {
            state.SkipWithError("the runner failed");
            break;
        }
    }
}
BENCHMARK(BM_BarePluginRuns)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CheckApplyApply(benchmark::State& state) {
    LayOutHost();
    std::vector<double> bare;
    for (int i = 0; i < 5; ++i) {
        bare.push_back(BarePluginRuns());
    }
    std::sort(bare.begin(), bare.end());
    const std::string text = Ports(10);
    auto task = TaskHandle::Dummy();
    double total = 0;
    double selfCpu = -CpuSeconds(RUSAGE_SELF);
    double childCpu = -CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        rapidjson::Document desired = Parse(text);
        std::shared_ptr<CheckApplyResult> check = CheckApply(desired, "", task);
        ApplyResult result = Apply(check, task);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!check || check->impact != NO_IMPACT || !result.error.id.empty()) {
            state.SkipWithError("the change was not applied as expected");
            break;
        }
    }
    selfCpu += CpuSeconds(RUSAGE_SELF);
    childCpu += CpuSeconds(RUSAGE_CHILDREN);
    double perIteration = total / static_cast<double>(state.iterations());
    state.counters["outside_cpu_pct"] = 100.0 * selfCpu / (selfCpu + childCpu);
    state.counters["bare_plugins_ms"] = bare[2] * 1e3;
    state.counters["outside_pct"] = 100.0 * (perIteration - bare[2]) / perIteration;
}
BENCHMARK(BM_CheckApplyApply)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
