// ComputeDrift over one multi-instance key with N keyed instances, desired against a host
// that holds them in reverse order with every second one changed: the matching by key value
// must grow linearly with N. Once with a handler that only counts, once with the compliance
// handler (its report entries and log lines gathered as CheckCompliance gathers them). The
// walk consumes the host document it is handed, so each iteration copies it untimed: the copy
// stands for extracting the host configuration, which compliance_bench measures.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "host_root_fixture.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace {

// A fresh host root (a root left by another bench may hold thousands of key schemas) with the
// one key schema.
void InstallSchema() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    TarnTest::ResetHostRoot();
    TarnTest::WriteFile(std::string(TarnPaths::kSchemaDir) + "host/accounts/users.json",
                        R"({"multiInstance": true, "instanceKey": "name", "definition": {
        "type": "object", "properties": {"name": {"type": "string"}, "uid": {"type": "integer"},
        "shell": {"type": "string"}}}})");
}

// Each iteration at 256 000 instances logs some 25 MB; left to grow over a run, the log file
// reaches gigabytes and the kernel's work for the writes grows with it, so each iteration
// starts from an empty log, as a host whose log is rotated would.
void TruncateLog() {
    std::error_code ignored;
    std::filesystem::resize_file(TarnPaths::kLogFile, 0, ignored);
}

std::string Users(long count, bool host) {
    std::string text = R"({"host": {"accounts": {"users": [)";
    for (long n = 0; n < count; ++n) {
        long i = host ? count - 1 - n : n;
        long uid = host && i % 2 ? i + 1 : i;
        text += (n ? "," : "") + std::string(R"({"name": "user)") + std::to_string(i) +
                R"(", "uid": )" + std::to_string(uid) + R"(, "shell": "/bin/sh"})";
    }
    return text + "]}}}";
}

class CountingHandler : public TarnConfigManager::DriftHandler {
public:
    void PropertyDrift(const Value&, const Value&, const Value&, const std::string&,
                       TarnConfigManager::ACTION) override {
        ++drifts;
    }
    long drifts = 0;
};

// The desired and the host document of count keyed users, with the schema installed.
struct UserPair {
    rapidjson::Document desired;
    rapidjson::Document host;
};

UserPair ParsedUsers(long count) {
    InstallSchema();
    UserPair users;
    TarnConfigManager::ParseDocument(Users(count, false), users.desired);
    TarnConfigManager::ParseDocument(Users(count, true), users.host);
    return users;
}

void BM_KeyedInstanceDrift(benchmark::State& state) {
    UserPair users = ParsedUsers(state.range(0));
    rapidjson::Document& desired = users.desired;
    const rapidjson::Document& host = users.host;
    for (auto _ : state) {
        CountingHandler handler;
        handler.useDefaultInstances = false;
        state.PauseTiming();
        handler.hostDocument.emplace();
        handler.hostDocument->CopyFrom(host, handler.hostDocument->GetAllocator());
        state.ResumeTiming();
        TarnConfigManager::ComputeDrift(desired, desired.GetAllocator(), handler);
        if (handler.drifts != state.range(0) / 2) {
            state.SkipWithError("unexpected drift count");
        }
    }
    state.SetComplexityN(state.range(0));
}

void BM_KeyedInstanceCompliance(benchmark::State& state) {
    UserPair users = ParsedUsers(state.range(0));
    rapidjson::Document& desired = users.desired;
    const rapidjson::Document& host = users.host;
    for (auto _ : state) {
        CSLogger::Batch logBatch;
        TarnConfigManager::ComplianceResult result;
        TarnConfigManager::CheckComplianceHandler handler(&result);
        handler.useDefaultInstances = false;
        state.PauseTiming();
        TruncateLog();
        handler.hostDocument.emplace();
        handler.hostDocument->CopyFrom(host, handler.hostDocument->GetAllocator());
        state.ResumeTiming();
        TarnConfigManager::ComputeDrift(desired, desired.GetAllocator(), handler);
        if (result.document["SETS"].Size() != static_cast<size_t>(state.range(0) / 2)) {
            state.SkipWithError("unexpected drift count");
        }
    }
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_KeyedInstanceDrift)
    ->RangeMultiplier(4)
    ->Range(1000, 256000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_KeyedInstanceCompliance)
    ->RangeMultiplier(4)
    ->Range(1000, 256000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

BENCHMARK_MAIN();
