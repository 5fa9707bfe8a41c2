// The two foundations every extraction pays for, on their own: reading a table's rows out of the
// SQLite store (ReadStoreRows of N rows of about 250 bytes, on the thread's kept connection) and
// loading the schema folder (N key schema files, listed, parsed, checked and copied). Wall time:
// the schema load uses a second thread when there are many files.
//
// With --fresh-read=<N> the program lays out N rows, then starts itself again to read them once
// in a new process and prints that read's wall time and page faults: a whole command (an export,
// a compliance check) reads its rows in a fresh process, whose heap is new memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config_document_generator.h"
#include "host_root_fixture.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/paths.h"
#include "tarn/schemastore/schema_store.h"
#include "user_rows.h"

namespace {

// Puts n current rows of one keyed key into a fresh host root, values of about 250 bytes.
void LayOutRows(long n) {
    TarnTest::ResetHostRoot();
    TarnBench::PutUserRows(n);
}

std::string KeyFile(long i) {
    return std::string(TarnPaths::kSchemaDir) + "component" + std::to_string(i / 64) + "/group" +
           std::to_string(i / 8 % 8) + "/key" + std::to_string(i % 8) + ".json";
}

void BM_ReadStoreRows(benchmark::State& state) {
    LayOutRows(state.range(0));
    for (auto _ : state) {
        auto rows =
            TarnConfigStore::ReadStoreRows(TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true),
                                           TarnConfigStore::RowTable::kCurrent);
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Each iteration rewrites one key file (untimed), so the next GetStore loads the folder again.
void BM_LoadSchemaStore(benchmark::State& state) {
    TarnTest::ResetHostRoot();
    const std::string schema = TarnBench::ConfigPairKeySchema();
    for (long i = 0; i < state.range(0); ++i) {
        TarnTest::WriteFile(KeyFile(i), schema);
    }
    for (auto _ : state) {
        state.PauseTiming();
        TarnTest::WriteFile(KeyFile(0), schema);
        state.ResumeTiming();
        auto store = TarnSchemaStore::SchemaStore::GetStore();
        if (!store ||
            store->GetSchemaCache()->GetSchemas().size() != static_cast<size_t>(state.range(0))) {
            state.SkipWithError("the schema folder did not load whole");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

double WallMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// In the child: one read of the rows laid out by the parent.
int ReadOnce() {
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    long faults = MinorFaults();
    double start = WallMs();
    auto rows = TarnConfigStore::ReadStoreRows(connection, TarnConfigStore::RowTable::kCurrent);
    std::printf("fresh process: %zu rows read in %.2f ms wall, %ld page faults\n", rows.size(),
                WallMs() - start, MinorFaults() - faults);
    return 0;
}

int FreshRead(const char* self, long n) {
    LayOutRows(n);
    std::string command = std::string(self) + " --read-once";
    for (int i = 0; i < 5; ++i) {
        if (std::system(command.c_str()) != 0) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

BENCHMARK(BM_ReadStoreRows)->Arg(1000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSchemaStore)->Arg(100)->Arg(2144)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--read-once") == 0) {
        return ReadOnce();
    }
    if (argc == 2 && std::strncmp(argv[1], "--fresh-read=", 13) == 0) {
        return FreshRead(argv[0], std::atol(argv[1] + 13));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
