// ExportDocument of a host whose user configuration holds about 10 MB (one keyed
// multi-instance key), against parsing the exported text once (ParseDocument) in the same run:
// the export reads the rows, cleans every value and writes the document, so it should cost a
// small multiple of one parse of its result.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/extract/export_document.h"
#include "host_root_fixture.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/paths.h"
#include "user_rows.h"

namespace {

constexpr long kUsers = 40000;  // about 250 bytes each

void LayOutHost() {
    TarnTest::ResetHostRoot();
    TarnTest::WriteFile(std::string(TarnPaths::kSchemaDir) + "host/accounts/users.json",
                        R"({"multiInstance": true, "instanceKey": "name", "definition": {
        "type": "object", "required": ["name"], "properties": {"name": {"type": "string"},
        "uid": {"type": "integer"}, "shell": {"type": "string", "default": "/bin/sh"},
        "home": {"type": "string"}, "comment": {"type": "string"},
        "password": {"type": "string", "sensitive": true}}}})");
    TarnBench::PutUserRows(kUsers);
}

std::string& Exported() {
    static std::string text;
    return text;
}

void BM_ExportDocument(benchmark::State& state) {
    LayOutHost();
    for (auto _ : state) {
        Exported() = TarnConfigManager::ExportDocument();
    }
    state.counters["MB"] = static_cast<double>(Exported().size()) / 1e6;
}

void BM_ParseExportedText(benchmark::State& state) {
    if (Exported().empty()) {
        state.SkipWithError("run BM_ExportDocument first");
        return;
    }
    for (auto _ : state) {
        rapidjson::Document document;
        TarnConfigManager::ParseDocument(Exported(), document);
        benchmark::DoNotOptimize(document);
    }
}

// An export and a parse of its text in turns, each timed: both meet the same state of a shared
// machine, whose speed can change between two benchmarks run one after the other. The time is
// the export's; "parse_ms" is the parse's mean and "ratio" the export's mean over it.
void BM_ExportAgainstParse(benchmark::State& state) {
    LayOutHost();
    using Clock = std::chrono::steady_clock;
    double exportSeconds = 0;
    double parseSeconds = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        Exported() = TarnConfigManager::ExportDocument();
        const Clock::time_point exported = Clock::now();
        {
            rapidjson::Document document;
            TarnConfigManager::ParseDocument(Exported(), document);
            benchmark::DoNotOptimize(document);
        }
        const Clock::time_point parsed = Clock::now();
        const double seconds = std::chrono::duration<double>(exported - start).count();
        state.SetIterationTime(seconds);
        exportSeconds += seconds;
        parseSeconds += std::chrono::duration<double>(parsed - exported).count();
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["parse_ms"] = parseSeconds * 1e3 / iterations;
    state.counters["ratio"] = exportSeconds / parseSeconds;
}

// Visiting the user rows alone, on a connection of its own as the export opens one: the part
// of the export that SQLite decides.
void BM_ReadUserRows(benchmark::State& state) {
    for (auto _ : state) {
        size_t bytes = 0;
        TarnConfigStore::VisitStoreRows(
            TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true),
            TarnConfigStore::RowTable::kCurrent,
            [&bytes](const TarnConfigStore::StoreRowView& row) { bytes += row.value.size(); });
        benchmark::DoNotOptimize(bytes);
    }
}

}  // namespace

BENCHMARK(BM_ExportDocument)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ParseExportedText)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportAgainstParse)->Unit(benchmark::kMillisecond)->MinTime(4.0)->UseManualTime();
BENCHMARK(BM_ReadUserRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
