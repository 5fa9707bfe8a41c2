// The schema phase of Validate on a 10 MB configuration document, beside ParseDocument of
// the same bytes, and the checks for duplicate members and instance keys on 10 and 50 MB. A
// key schema for every key of the generated documents is written below the root's schema
// folder (component*/ folders, removed afterwards); the documents have no key a validation
// plugin serves, so the plugin phase only loads the manifests.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>

#include "config_document_generator.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "deradidezivizoda/validation/validate.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace fs = std::filesystem;
using namespace TarnConfigManager;

namespace {

// Document sizes in MB: the first is the one every benchmark measures.
constexpr int kSmallMegabytes = 10;
constexpr int kLargeMegabytes = 50;

// The schema of one instance as the generator writes it.
const char kInstanceDefinition[] = R"({"type": "object", "required": ["name"],
    "additionalProperties": false, "properties": {
    "name": {"type": "string"}, "enabled": {"type": "boolean"},
    "port": {"type": "integer", "minimum": 0, "maximum": 65535}, "weight": {"type": "number"},
    "description": {"type": "string", "maxLength": 200},
    "addresses": {"type": "array", "items": {"type": "string"}},
    "options": {"type": "object", "properties": {"mtu": {"type": "integer", "minimum": 576},
                "tags": {"type": "array", "items": {"type": "string"}}}}}})";

struct Workload {
    std::string text;
    rapidjson::Document document;
    rapidjson::Document schema;
    std::string failure;
};

void InstallKeySchemas(const rapidjson::Document& document) {
    const std::string single = std::string(R"({"definition": )") + kInstanceDefinition + "}";
    const std::string multi = std::string(R"({"multiInstance": true, "instanceKey": "name",
        "definition": )") + kInstanceDefinition +
                              "}";
    for (const auto& component : document.GetObject()) {
        for (const auto& group : component.value.GetObject()) {
            std::string folder = std::string(TarnPaths::kSchemaDir) + component.name.GetString() +
                                 "/" + group.name.GetString();
            fs::create_directories(folder);
            for (const auto& key : group.value.GetObject()) {
                TarnConfigStore::WriteFileAtomically(folder + "/" + key.name.GetString() + ".json",
                                                     key.value.IsArray() ? multi : single);
            }
        }
    }
}

void RemoveKeySchemas(const rapidjson::Document& document) {
    for (const auto& component : document.GetObject()) {
        fs::remove_all(std::string(TarnPaths::kSchemaDir) + component.name.GetString());
    }
}

// The workloads built so far, by size in MB; main removes the key schemas they installed.
std::map<int, Workload> workloads;

Workload& TheWorkload(int megabytes = kSmallMegabytes) {
    auto found = workloads.find(megabytes);
    if (found != workloads.end()) {
        return found->second;
    }
    Workload& w = workloads[megabytes];
    if (TarnPaths::kRoot[0] == '\0') {
        w.failure = "the benchmark writes key schemas: build with a development root";
        return w;
    }
    w.text = TarnBench::GenerateConfigDocument(static_cast<size_t>(megabytes) << 20);
    ParseDocument(w.text, w.document);
    InstallKeySchemas(w.document);
    HostDocumentSchema generated = GenerateHostDocumentSchema(w.document);
    if (auto* schema = boost::get<rapidjson::Document>(&generated)) {
        w.schema = std::move(*schema);
    } else {
        w.failure = "key schemas missing in the root";
    }
    return w;
}

// Runs Validate once, with or without its schema phase; false (and the benchmark skipped)
// when it reports anything.
bool ValidateOnce(benchmark::State& state, const Workload& workload,
                  const rapidjson::Document& schema, bool schemaPhase = true) {
    ValidationResult result;
    Validate(workload.document, schema, "", result, schemaPhase, TaskHandle::Dummy());
    if (!result.errors.empty() || !result.pluginErr.id.empty()) {
        state.SkipWithError(("the document is not valid: " + result.Serialize()).c_str());
        return false;
    }
    return true;
}

// Runs round() once per iteration while it returns true, and reports the document's size
// per iteration as throughput.
template <typename Round>
void MeasureThroughput(benchmark::State& state, Round round, int megabytes = kSmallMegabytes) {
    const Workload& workload = TheWorkload(megabytes);
    if (!workload.failure.empty()) {
        state.SkipWithError(workload.failure.c_str());
        return;
    }
    for (auto _ : state) {
        if (!round()) {
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * workload.text.size()));
}

void BM_ParseDocument(benchmark::State& state) {
    MeasureThroughput(state, [] {
        rapidjson::Document document;
        ParseDocument(TheWorkload().text, document);
        benchmark::DoNotOptimize(document.MemberCount());
        return true;
    });
}
BENCHMARK(BM_ParseDocument)->Unit(benchmark::kMillisecond);

// The same schema every call: the validator reuses its compiled form.
void BM_ValidateSchemaPhase(benchmark::State& state) {
    const int megabytes = static_cast<int>(state.range(0));
    MeasureThroughput(
        state,
        [&] {
            const Workload& workload = TheWorkload(megabytes);
            return ValidateOnce(state, workload, workload.schema);
        },
        megabytes);
}
BENCHMARK(BM_ValidateSchemaPhase)
    ->Arg(kSmallMegabytes)
    ->Arg(kLargeMegabytes)
    ->Unit(benchmark::kMillisecond);

// Validate with the schema phase off: what is left is the walk for duplicate members and
// instance keys, and the plugin phase loading the manifests.
void BM_ValidateDuplicatesOnly(benchmark::State& state) {
    const int megabytes = static_cast<int>(state.range(0));
    MeasureThroughput(
        state,
        [&] {
            const Workload& workload = TheWorkload(megabytes);
            return ValidateOnce(state, workload, workload.schema, false);
        },
        megabytes);
}
BENCHMARK(BM_ValidateDuplicatesOnly)
    ->Arg(kSmallMegabytes)
    ->Arg(kLargeMegabytes)
    ->Unit(benchmark::kMillisecond);

// What boot-time callers pay: the host document schema generated again, then validated.
void BM_GenerateSchemaAndValidate(benchmark::State& state) {
    MeasureThroughput(state, [&state] {
        HostDocumentSchema generated = GenerateHostDocumentSchema(TheWorkload().document);
        return ValidateOnce(state, TheWorkload(), boost::get<rapidjson::Document>(generated));
    });
}
BENCHMARK(BM_GenerateSchemaAndValidate)->Unit(benchmark::kMillisecond);

// A schema never seen before on every call: compiled each time, as without the cache.
void BM_ValidateSchemaPhaseUncached(benchmark::State& state) {
    rapidjson::Document schema;
    if (TheWorkload().failure.empty()) {
        schema.CopyFrom(TheWorkload().schema, schema.GetAllocator());
        schema.AddMember("description", "", schema.GetAllocator());
    }
    int64_t round = 0;
    MeasureThroughput(state, [&] {
        schema["description"].SetString(std::to_string(++round), schema.GetAllocator());
        return ValidateOnce(state, TheWorkload(), schema);
    });
}
BENCHMARK(BM_ValidateSchemaPhaseUncached)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    for (const auto& [megabytes, workload] : workloads) {
        if (workload.failure.empty()) {
            RemoveKeySchemas(workload.document);
        }
    }
    return 0;
}
