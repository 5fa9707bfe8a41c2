// ExecuteBootPlugins of a stored desired configuration of 1 000 objects (every instance of one
// keyed key changed) through the native test plugin, boot-capable, whose apply does nothing,
// so every iteration does the same work: one plugin run around the library's own work
// (restoring nothing, extracting the desired and the current configuration, the drift walk,
// the request of 1 000 objects, the boot apply record).
// BM_BootBarePluginRun starts the C++ runner on the same request, prepared beforehand: what
// the plugin process alone costs. BM_ExecuteBootPlugins runs that bare run too in each
// iteration, untimed, and reports the share of its wall time spent outside it (outside_pct)
// and the share of CPU time spent outside the plugin process (outside_cpu_pct), as the apply
// bench does. The benchmark lays out the build's host root as the tests do, so it wipes it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "deradidezivizoda/apply/boot_apply.h"
#include "host_root_fixture.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "plugin_run_laps.h"
#include "schema_files.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace {

using namespace TarnConfigManager;
using TarnBench::Lap;

// A fresh root: 1 000 probes at speed 1000 on the host, the same at speed 10 stored as the
// desired configuration, and the native "ok" test plugin serving them at boot.
void LayOutHost() {
    TarnTest::ResetHostRoot();
    TarnTest::InstallManifestSchemas();
    TarnTest::InstallPluginRunners();
    TarnTest::InstallKeySchema(TarnTest::kTestPluginComponent, TarnTest::kTestPluginGroup,
                               TarnTest::kTestPluginKey, R"({"type": "object", "properties": {
        "name": {"type": "string"}, "speed": {"type": "integer"}}})",
                               "name");
    std::string manifest = TarnTest::InstallTestPlugin("cpp", "ok");
    TarnTest::WriteFile(manifest, R"({"version": 2, "type": "c++",
        "accepts": ["testing:plugins:probe"], "apply": {"apply_group": "system", "boot": true,
        "operations": {"SET": {"provides": "SET:cpptest:ok", "depends": []}}}})");
    TarnBench::PutCurrentInstances("testing", "plugins", "probe");
    rapidjson::Document desired;
    TarnConfigStore::ParseJsonText(TarnBench::KeyedDocument("testing", "plugins", "probe", 10),
                                   desired);
    TarnConfigStore::SetDesiredUserConfig(
        desired, [](const std::string&, const std::string&, const std::string&) {
            return std::string("name");
        });
}

// The request the library sends at boot, recorded in one untimed boot.
std::vector<std::string> LibraryRequests(benchmark::State& state) {
    std::vector<std::string> requests =
        TarnBench::RecordedCppRequests([] { ExecuteBootPlugins(); });
    if (requests.size() != 1) {
        state.SkipWithError("the library did not send the one request expected");
    }
    return requests;
}

void BM_BootBarePluginRun(benchmark::State& state) {
    LayOutHost();
    const std::vector<std::string> requests = LibraryRequests(state);
    for (auto _ : state) {
        state.PauseTiming();
        bool ran = TarnBench::BareRuns(TarnPaths::kCppPluginRunner, requests, nullptr, &state);
        state.ResumeTiming();
        if (!ran) {
            state.SkipWithError("the runner failed");
            break;
        }
    }
}
BENCHMARK(BM_BootBarePluginRun)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each iteration times ExecuteBootPlugins and, with the clock paused, the bare run of the same
// request right after, so both see the same load.
void BM_ExecuteBootPlugins(benchmark::State& state) {
    LayOutHost();
    const std::vector<std::string> requests = LibraryRequests(state);
    Lap library, bare;
    for (auto _ : state) {
        Lap start = Lap::Now();
        ExecuteBootPlugins();
        library.Add(start, Lap::Now());
        state.PauseTiming();
        bool ran = TarnBench::BareRuns(TarnPaths::kCppPluginRunner, requests, &bare);
        state.ResumeTiming();
        if (!ran) {
            state.SkipWithError("the runner failed");
            break;
        }
    }
    TarnConfigStore::MarkBootComplete();
    BootApplyInfo info = GetBootApplyInfo();
    if (info.status != BOOT_APPLY_OK) {
        state.SkipWithError(("the boot-time apply failed: " +
                             (info.failures.empty() ? "" : info.failures[0].error.id))
                                .c_str());
    }
    TarnBench::ReportOutside(state, library, bare, "bare_plugin_ms");
}
BENCHMARK(BM_ExecuteBootPlugins)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
