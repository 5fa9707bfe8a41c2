// CheckApply followed by Apply of a change of 1 000 objects (every instance of one keyed key
// changed) through a plugin that judges each change as free and applies nothing (a Python
// one, and in the benchmarks named ...Cpp the native test plugin), so
// every iteration does the same work: 3 plugin runs (impact for CheckApply, impact and apply
// for Apply) around the library's own work (3 extractions of the current configuration,
// 3 drift walks, the drift cache, requests and results of 1 000 objects).
// BM_BarePluginRuns starts the same runner on requests of the same 1 000 objects the same
// 3 times, directly, with the requests prepared beforehand: what the plugin processes alone
// cost. BM_CheckApplyApply runs those bare runs too in each iteration, untimed, and reports the
// share of its time spent outside them (outside_pct) and, robust against other load on the
// machine, the share of CPU time spent outside the plugin processes (outside_cpu_pct). The
// benchmark lays out the build's host root as the tests do, so it wipes that root.
#include <benchmark/benchmark.h>

#include <cstdio>
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
#include "plugin_run_laps.h"
#include "schema_files.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace {

using namespace TarnConfigManager;
using TarnBench::Lap;

const char kNoopPlugin[] = R"(import tarn_plugin as tp


@tp.apply
def apply(request):
    pass


@tp.impact
def impact(request):
    return [tp.ImpactVerdict(change.id, tp.Impact.NONE) for change in request.inputs]
)";

// The desired ports: all at speed 10.
std::string Ports() {
    return TarnBench::KeyedDocument("bench", "net", "ports", 10);
}

rapidjson::Document Parse(const std::string& text) {
    rapidjson::Document document;
    TarnConfigStore::ParseJsonText(text, document);
    return document;
}

// The two no-op plugins: the Python one above, and the native test plugin's "free" behaviour.
enum class Language { kPython, kCpp };

const char* Runner(Language language) {
    return language == Language::kCpp ? TarnPaths::kCppPluginRunner : TarnPaths::kPyPluginRunner;
}

// A fresh root holding 1 000 ports at speed 1000 and the no-op plugin serving them; returns
// the Python plugin's file (empty for the native one).
std::string LayOutHost(Language language) {
    TarnTest::ResetHostRoot();
    TarnTest::InstallManifestSchemas();
    TarnTest::InstallPluginRunners();
    TarnTest::InstallKeySchema("bench", "net", "ports", R"({"type": "object", "properties": {
        "name": {"type": "string"}, "speed": {"type": "integer"}}})",
                               "name");
    TarnBench::PutCurrentInstances("bench", "net", "ports");
    if (language == Language::kCpp) {
        TarnTest::WriteFile(TarnTest::InstallTestPlugin("cpp", "free"), R"({"version": 2,
        "type": "c++", "accepts": ["bench:net:ports"], "apply": {"apply_group": "network",
        "boot": false, "operations": {"set": {"provides": "SET:cpptest:free", "depends": []}}},
        "impact": {"supports": true, "cache_drift": ["bench:net:ports"]}})");
        return "";
    }
    std::string manifest = TarnTest::InstallManifest("bench/ports", R"({"version": 2,
        "type": "python", "accepts": ["bench:net:ports"], "apply": {"apply_group": "network",
        "boot": false, "operations": {"set": {"provides": "SET:bench:ports", "depends": []}}},
        "impact": {"supports": true, "cache_drift": ["bench:net:ports"]}})");
    std::string plugin = manifest.substr(0, manifest.rfind('/')) + "/plugin.py";
    TarnTest::WriteFile(plugin, kNoopPlugin);
    return plugin;
}

void CheckApplyApply(rapidjson::Document& desired, const std::shared_ptr<TaskHandle>& task,
                     benchmark::State& state) {
    std::shared_ptr<CheckApplyResult> check = CheckApply(desired, "", task);
    ApplyResult result = Apply(check, task);
    if (!check || check->impact != NO_IMPACT || !result.error.id.empty()) {
        state.SkipWithError("the change was not applied as expected");
    }
}

// The requests the library sends in one CheckApply and Apply (impact; impact with the drift
// cache; apply), as texts, recorded in one untimed round: the Python plugin first copies each
// request it gets, then the no-op plugin is put back; the native runner is replaced by a
// script that copies them. The bare runs replay exactly these.
std::vector<std::string> LibraryRequests(Language language, const std::string& text,
                                         benchmark::State& state) {
    const std::string plugin = LayOutHost(language);
    auto task = TaskHandle::Dummy();
    std::vector<std::string> requests;
    if (language == Language::kCpp) {
        rapidjson::Document desired = Parse(text);
        requests = TarnBench::RecordedCppRequests([&] { CheckApplyApply(desired, task, state); });
    } else {
        const std::string copy = std::string(TarnPaths::kPluginInputFile) + ".seen";
        TarnTest::WriteFile(plugin, "import os, shutil\nn = 0\nwhile os.path.exists('" + copy +
                                        "%d' % n):\n    n += 1\nshutil.copy('" +
                                        TarnPaths::kPluginInputFile + "', '" + copy + "%d' % n)\n" +
                                        kNoopPlugin);
        rapidjson::Document desired = Parse(text);
        CheckApplyApply(desired, task, state);
        TarnTest::WriteFile(plugin, kNoopPlugin);
        for (int i = 0; TarnTest::PathExists(copy + std::to_string(i)); ++i) {
            requests.push_back(TarnTest::ReadFile(copy + std::to_string(i)));
            std::remove((copy + std::to_string(i)).c_str());
        }
    }
    if (requests.size() != 3) {
        state.SkipWithError("the library did not send the three requests expected");
    }
    return requests;
}

void BarePluginRuns(benchmark::State& state, Language language) {
    const std::vector<std::string> requests = LibraryRequests(language, Ports(), state);
    for (auto _ : state) {
        // Only spawning, running and waiting for the plugin processes is timed.
        state.PauseTiming();
        bool ran = TarnBench::BareRuns(Runner(language), requests, nullptr, &state);
        state.ResumeTiming();
        if (!ran) {
            state.SkipWithError("the runner failed");
            break;
        }
    }
}
BENCHMARK_CAPTURE(BarePluginRuns, Python, Language::kPython)
    ->Name("BM_BarePluginRuns")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BarePluginRuns, Cpp, Language::kCpp)
    ->Name("BM_BarePluginRunsCpp")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Each iteration times CheckApply + Apply and, with the benchmark's clock paused, the bare
// plugin runs of the same requests right after, so both sides see the same load. The desired
// document is parsed before the library's lap: parsing its input is the caller's work.
// outside_pct: CheckApply + Apply's wall time less the bare runs' wall time, over the former.
// outside_cpu_pct: this process's CPU time during CheckApply + Apply over that plus its
// children's (the plugin processes) during the same stretch.
void CheckApplyApplyLaps(benchmark::State& state, Language language) {
    const std::string text = Ports();
    const std::vector<std::string> requests = LibraryRequests(language, text, state);
    auto task = TaskHandle::Dummy();
    Lap library, bare;
    for (auto _ : state) {
        state.PauseTiming();
        rapidjson::Document desired = Parse(text);
        state.ResumeTiming();
        Lap start = Lap::Now();
        CheckApplyApply(desired, task, state);
        library.Add(start, Lap::Now());
        if (state.error_occurred()) {
            break;
        }
        state.PauseTiming();
        bool ran = TarnBench::BareRuns(Runner(language), requests, &bare);
        state.ResumeTiming();
        if (!ran) {
            state.SkipWithError("the runner failed");
            break;
        }
    }
    TarnBench::ReportOutside(state, library, bare, "bare_plugins_ms");
}
BENCHMARK_CAPTURE(CheckApplyApplyLaps, Python, Language::kPython)
    ->Name("BM_CheckApplyApply")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(CheckApplyApplyLaps, Cpp, Language::kCpp)
    ->Name("BM_CheckApplyApplyCpp")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
