// The schema phase of Validate on a 10 MB configuration document, beside ParseDocument of
// the same bytes. A key schema for every key of the generated document is written below the
// root's schema folder (component*/ folders, removed afterwards); the document has no key a
// validation plugin serves, so the plugin phase only loads the manifests.
#include <benchmark/benchmark.h>

#include <filesystem>
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

constexpr size_t kDocumentBytes = size_t{10} << 20;

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

// Set once the workload is built, so that main removes the key schemas it installed.
bool workloadBuilt = false;

Workload& TheWorkload() {
    static Workload workload = [] {
        workloadBuilt = true;
        Workload w;
        if (TarnPaths::kRoot[0] == '\0') {
            w.failure = "the benchmark writes key schemas: build with a development root";
            return w;
        }
        w.text = TarnBench::GenerateConfigDocument(kDocumentBytes);
        ParseDocument(w.text, w.document);
        InstallKeySchemas(w.document);
        HostDocumentSchema generated = GenerateHostDocumentSchema(w.document);
        if (auto* schema = boost::get<rapidjson::Document>(&generated)) {
            w.schema = std::move(*schema);
        } else {
            w.failure = "key schemas missing in the root";
        }
        return w;
    }();
    return workload;
}

// Runs the schema phase once; false (and the benchmark skipped) when it reports anything.
bool ValidateOnce(benchmark::State& state, const rapidjson::Document& schema) {
    ValidationResult result;
    Validate(TheWorkload().document, schema, "", result, true, TaskHandle::Dummy());
    if (!result.errors.empty() || !result.pluginErr.id.empty()) {
        state.SkipWithError(("the document is not valid: " + result.Serialize()).c_str());
        return false;
    }
    return true;
}

// Runs round() once per iteration while it returns true, and reports the document's size
// per iteration as throughput.
template <typename Round>
void MeasureThroughput(benchmark::State& state, Round round) {
    if (!TheWorkload().failure.empty()) {
        state.SkipWithError(TheWorkload().failure.c_str());
        return;
    }
    for (auto _ : state) {
        if (!round()) {
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TheWorkload().text.size()));
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
    MeasureThroughput(state, [&state] { return ValidateOnce(state, TheWorkload().schema); });
}
BENCHMARK(BM_ValidateSchemaPhase)->Unit(benchmark::kMillisecond);

// What boot-time callers pay: the host document schema generated again, then validated.
void BM_GenerateSchemaAndValidate(benchmark::State& state) {
    MeasureThroughput(state, [&state] {
        HostDocumentSchema generated = GenerateHostDocumentSchema(TheWorkload().document);
        return ValidateOnce(state, boost::get<rapidjson::Document>(generated));
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
        return ValidateOnce(state, schema);
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
    if (workloadBuilt && TheWorkload().failure.empty()) {
        RemoveKeySchemas(TheWorkload().document);
    }
    return 0;
}
