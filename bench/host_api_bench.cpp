// The single-key configuration API on the demo host holding 1 000 or 20 000 other objects:
// GetConfig of the NTP servers, and the whole set chain of one key (ValidateInputSet,
// GenerateSetDocuments, CheckImpact, SetConfig) through the native NTP plugin, which extracts
// and rewrites timesyncd.conf. Each set changes the servers, so every iteration applies.
// library_cpu_ms is this process's CPU time per iteration: the library's work outside the
// plugin processes. A single-key operation must not read the whole host, so it should not
// grow with the other objects. The benchmark lays out the build's host root (wipes it).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "deradidezivizoda/hostapi/host_api.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "plugin_run_laps.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/store_rows.h"

namespace {

using namespace TarnConfigManager;
using TarnBench::Lap;

// The demo host, plus others objects of an unrelated key in the store's current rows.
bool LayOutHost(int others) {
    if (std::system(TARN_BINARY_DIR "/examples/demo-host/lay-out.sh >/dev/null 2>&1") != 0) {
        return false;
    }
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    TarnConfigStore::ConfigStoreTransaction transaction(connection);
    for (int i = 0; i < others; ++i) {
        std::string name = "o" + std::to_string(i);
        TarnConfigStore::PutCurrentRow(connection, "bench", "other", "objects", name,
                                       R"({"name": ")" + name + R"(", "speed": 1000})");
    }
    transaction.Commit();
    return true;
}

void Counters(benchmark::State& state, const Lap& laps) {
    state.counters["library_cpu_ms"] =
        benchmark::Counter(laps.self * 1000.0 / static_cast<double>(state.iterations()));
    state.counters["plugins_cpu_ms"] =
        benchmark::Counter(laps.children * 1000.0 / static_cast<double>(state.iterations()));
}

void BM_GetConfig(benchmark::State& state) {
    if (!LayOutHost(static_cast<int>(state.range(0)))) {
        state.SkipWithError("the demo host could not be laid out");
        return;
    }
    Lap laps;
    for (auto _ : state) {
        Lap start = Lap::Now();
        std::string defaults, current, schema;
        GetConfig("system", "time", "ntp", defaults, current, schema);
        laps.Add(start, Lap::Now());
    }
    Counters(state, laps);
}
BENCHMARK(BM_GetConfig)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SetConfig(benchmark::State& state) {
    if (!LayOutHost(static_cast<int>(state.range(0)))) {
        state.SkipWithError("the demo host could not be laid out");
        return;
    }
    auto task = TaskHandle::Dummy();
    Lap laps;
    int round = 0;
    for (auto _ : state) {
        const std::string value =
            R"({"servers": ["ntp)" + std::to_string(round++ % 2) + R"(.example.net"]})";
        Lap start = Lap::Now();
        rapidjson::Document valueDoc, desired, current, relevant;
        std::vector<ValidationErrorInfo> errors;
        ValidateInputSet("system", "time", "ntp", value, valueDoc, errors);
        GenerateSetDocuments("system", "time", "ntp", valueDoc, desired, current, relevant);
        ImpactResult impact = CheckImpact(desired, current, task);
        ErrorInfo error =
            SetConfig(desired, current, valueDoc, impact, "system", "time", "ntp", task);
        laps.Add(start, Lap::Now());
        if (!error.id.empty() || impact.compliant) {
            state.SkipWithError("the set was not applied");
            break;
        }
    }
    Counters(state, laps);
}
BENCHMARK(BM_SetConfig)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
