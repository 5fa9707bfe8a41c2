// A compliance check of a generated desired document against a host whose side of it is in the
// store, beside what it is made of, measured in turns within each iteration so that every
// figure sees the same load: parsing both texts, the drift walk alone (both documents parsed,
// a counting handler), extracting the host side from the store, and CheckCompliance as the
// agent calls it (extraction included). Phases are timed in wall time (what a user waits for,
// and the only time that shows work spread over two cores) and in CPU time of the process
// (kernel time and page faults included, all threads), which a machine shared with other work
// disturbs less. With --lay-out=<MB> <folder> the program only lays out
// the host root and writes desired.json and host.json into the folder, for a whole-process
// measurement of `tarnctl compliance`. With --fresh=<MB> [rounds] it lays out the host root and
// then times each phase in a process of its own, in turns (the parse of both texts, and
// CheckCompliance after an untimed parse of the desired text): both then start from the same
// fresh memory, as an agent's one check does, while the loop above reuses what the iteration
// before freed.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

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

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One phase in this fresh process: prints its wall and CPU milliseconds.
int RunPhase(const std::string& phase, const std::string& folder) {
    const std::string desiredText = ReadText(folder + "/desired.json");
    const std::string hostText = ReadText(folder + "/host.json");
    double wall = WallNow();
    double cpu = CpuNow();
    if (phase == "parse") {
        rapidjson::Document desired, host;
        wall = WallNow();
        cpu = CpuNow();
        TarnConfigManager::ParseDocument(desiredText, desired);
        TarnConfigManager::ParseDocument(hostText, host);
        std::printf("%.3f %.3f\n", WallNow() - wall, CpuNow() - cpu);
        return 0;
    }
    rapidjson::Document desired;
    TarnConfigManager::ParseDocument(desiredText, desired);
    auto task = TarnConfigManager::TaskHandle::Dummy();
    TarnConfigManager::ComplianceResult result;
    wall = WallNow();
    cpu = CpuNow();
    TarnConfigManager::CheckCompliance(desired, false, result, task);
    std::printf("%.3f %.3f\n", WallNow() - wall, CpuNow() - cpu);
    return result.compliant ? 1 : 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs this program once for the phase and reads the wall and CPU milliseconds it prints.
std::pair<double, double> TimeInFreshProcess(const std::string& phase, const std::string& folder) {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) {
        throw std::runtime_error("cannot find this program");
    }
    self[length] = '\0';
    const std::string command =
        std::string(self) + " --phase=" + phase + " " + folder + " 2>/dev/null";
    FILE* child = popen(command.c_str(), "r");
    double wall = 0, cpu = 0;
    if (child == nullptr || std::fscanf(child, "%lf %lf", &wall, &cpu) != 2 || pclose(child) != 0) {
        throw std::runtime_error("the phase " + phase + " failed");
    }
    return {wall, cpu};
}

int RunFresh(const char* megabytes, int rounds) {
    char folder[] = "/tmp/compliance_fresh.XXXXXX";
    if (mkdtemp(folder) == nullptr || LayOutOnly(megabytes, folder) != 0) {
        return 1;
    }
    std::vector<double> parseWall, parseCpu, checkWall, checkCpu;
    for (int round = 0; round < rounds; ++round) {
        auto parse = TimeInFreshProcess("parse", folder);
        auto check = TimeInFreshProcess("check", folder);
        parseWall.push_back(parse.first);
        parseCpu.push_back(parse.second);
        checkWall.push_back(check.first);
        checkCpu.push_back(check.second);
    }
    std::remove((std::string(folder) + "/desired.json").c_str());
    std::remove((std::string(folder) + "/host.json").c_str());
    rmdir(folder);
    std::printf(
        "%s MB, fresh processes, medians of %d: parse of both %.1f ms (cpu %.1f), "
        "CheckCompliance %.1f ms (cpu %.1f), ratio %.2f (cpu %.2f)\n",
        megabytes, rounds, Median(parseWall), Median(parseCpu), Median(checkWall), Median(checkCpu),
        Median(checkWall) / Median(parseWall), Median(checkCpu) / Median(parseCpu));
    return 0;
}

}  // namespace

BENCHMARK(BM_Compliance)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (argc == 3 && std::strncmp(argv[1], "--lay-out=", 10) == 0) {
        return LayOutOnly(argv[1] + 10, argv[2]);
    }
    if (argc == 3 && std::strncmp(argv[1], "--phase=", 8) == 0) {
        return RunPhase(argv[1] + 8, argv[2]);
    }
    if ((argc == 2 || argc == 3) && std::strncmp(argv[1], "--fresh=", 8) == 0) {
        return RunFresh(argv[1] + 8, argc == 3 ? std::atoi(argv[2]) : 7);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
