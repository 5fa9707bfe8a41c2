// A compliance check of a generated desired document against a host whose side of it is in the
// store, beside what it is made of, measured in turns within each iteration so that every
// figure sees the same load: parsing both texts, the drift walk alone (both documents parsed,
// a counting handler), extracting the host side from the store, and CheckCompliance as the
// agent calls it (extraction included). Phases are timed in wall time (what a user waits for,
// and the only time that shows work spread over two cores) and in CPU time of the process
// (kernel time and page faults included, all threads), which a machine shared with other work
// disturbs less. With --lay-out=<MB> <folder> the program only lays out
// the host root and writes desired.json and host.json into the folder, for a whole-process
// measurement of `tarnctl compliance`.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "config_document_generator.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "host_root_fixture.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/paths.h"

namespace {

// CPU time of this process in milliseconds.
double CpuNow() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double WallNow() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Wall and CPU milliseconds of the phases, summed over the iterations.
struct PhaseTimes {
    double wall = 0;
    double cpu = 0;
};

// Times one phase from construction to destruction into times.
class PhaseTimer {
public:
    explicit PhaseTimer(PhaseTimes& times) : times_(times), wall_(WallNow()), cpu_(CpuNow()) {}
    ~PhaseTimer() {
        times_.wall += WallNow() - wall_;
        times_.cpu += CpuNow() - cpu_;
    }
    PhaseTimer(const PhaseTimer&) = delete;
    PhaseTimer& operator=(const PhaseTimer&) = delete;

private:
    PhaseTimes& times_;
    double wall_;
    double cpu_;
};

class CountingHandler : public TarnConfigManager::DriftHandler {
public:
    void Add(const Value&, const ObjectId&, const Schema&, const std::string&) override { ++found; }
    void Delete(const Value&, const ObjectId&, const Schema&, const std::string&) override {
        ++found;
    }
    void PropertyDrift(const Value&, const Value&, const Value&, const std::string&,
                       TarnConfigManager::ACTION) override {
        ++found;
    }
    long found = 0;
};

// Lays out the host root: a schema per key and the host side as current rows.
void LayOutHost(const TarnBench::ConfigPair& pair) {
    TarnTest::ResetHostRoot();
    const std::string schema = TarnBench::ConfigPairKeySchema();
    for (const std::string& key : pair.keyPaths) {
        TarnTest::WriteFile(std::string(TarnPaths::kSchemaDir) + key + ".json", schema);
    }
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    TarnConfigStore::ConfigStoreTransaction transaction(connection);
    for (const auto& row : pair.hostRows) {
        TarnConfigStore::PutCurrentRow(connection, row.component, row.group, row.key,
                                       row.identifier, row.value);
    }
    transaction.Commit();
}

const TarnBench::ConfigPair& Pair(size_t megabytes) {
    static size_t built = 0;
    static TarnBench::ConfigPair pair;
    if (built != megabytes) {
        pair = TarnBench::GenerateConfigPair(megabytes << 20);
        LayOutHost(pair);
        built = megabytes;
    }
    return pair;
}

void BM_Compliance(benchmark::State& state) {
    const TarnBench::ConfigPair& pair = Pair(static_cast<size_t>(state.range(0)));
    auto task = TarnConfigManager::TaskHandle::Dummy();
    PhaseTimes parse, walk, extract, check;
    long drifts = 0;
    for (auto _ : state) {
        {
            rapidjson::Document desired, host;
            {
                PhaseTimer timer(parse);
                TarnConfigManager::ParseDocument(pair.desired, desired);
                TarnConfigManager::ParseDocument(pair.host, host);
            }
            CountingHandler handler;
            handler.useDefaultInstances = false;
            handler.hostDocument = std::move(host);
            {
                PhaseTimer timer(walk);
                TarnConfigManager::ComputeDrift(desired, desired.GetAllocator(), handler);
            }
            drifts = handler.found;
        }
        {
            PhaseTimer timer(extract);
            rapidjson::Document extracted = TarnConfigManager::ExtractCurrentConfiguration();
        }
        rapidjson::Document desired;
        TarnConfigManager::ParseDocument(pair.desired, desired);
        {
            PhaseTimer timer(check);
            TarnConfigManager::ComplianceResult result;
            TarnConfigManager::CheckCompliance(desired, false, result, task);
            if (result.compliant) {
                state.SkipWithError("the generated pair should not comply");
            }
        }
    }
    double n = static_cast<double>(state.iterations());
    state.counters["parse_ms"] = parse.wall / n;
    state.counters["walk_ms"] = walk.wall / n;
    state.counters["extract_ms"] = extract.wall / n;
    state.counters["check_ms"] = check.wall / n;
    state.counters["check_per_parse"] = check.wall / parse.wall;
    state.counters["parse_cpu_ms"] = parse.cpu / n;
    state.counters["extract_cpu_ms"] = extract.cpu / n;
    state.counters["check_cpu_ms"] = check.cpu / n;
    state.counters["check_per_parse_cpu"] = check.cpu / parse.cpu;
    state.counters["MB_both"] = static_cast<double>(pair.desired.size() + pair.host.size()) / 1e6;
    state.counters["keys"] = static_cast<double>(pair.keyPaths.size());
    state.counters["drifts"] = static_cast<double>(drifts);
}

int LayOutOnly(const char* megabytes, const std::string& folder) {
    const TarnBench::ConfigPair& pair = Pair(std::stoul(megabytes));
    std::ofstream(folder + "/desired.json") << pair.desired;
    std::ofstream(folder + "/host.json") << pair.host;
    return 0;
}

}  // namespace

BENCHMARK(BM_Compliance)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (argc == 3 && std::strncmp(argv[1], "--lay-out=", 10) == 0) {
        return LayOutOnly(argv[1] + 10, argv[2]);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
