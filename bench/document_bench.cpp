// ParseDocument and SerializeValue on a 10 MB configuration document, beside rapidjson's own
// parse and write of the same bytes, in the same process.
#include <benchmark/benchmark.h>

#include "config_document_generator.h"
#include "deradidezivizoda/core/document.h"

namespace {

const std::string& Document10MB() {
    static const std::string text = TarnBench::GenerateConfigDocument(10 * 1024 * 1024);
    return text;
}

template <unsigned Flags>
void BM_RapidjsonParse(benchmark::State& state) {
    const std::string& text = Document10MB();
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse<Flags>(text.c_str(), text.size());
        if (doc.HasParseError()) {
            state.SkipWithError("parse failed");
        }
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ParseDocument(benchmark::State& state) {
    const std::string& text = Document10MB();
    for (auto _ : state) {
        rapidjson::Document doc;
        TarnConfigManager::ParseDocument(text, doc);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

rapidjson::Document& ParsedDocument() {
    static rapidjson::Document doc;
    if (doc.IsNull()) {
        TarnConfigManager::ParseDocument(Document10MB(), doc);
    }
    return doc;
}

template <unsigned Flags>
void BM_RapidjsonWrite(benchmark::State& state) {
    const rapidjson::Document& doc = ParsedDocument();
    size_t bytes = 0;
    for (auto _ : state) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>,
                          rapidjson::CrtAllocator, Flags>
            writer(buffer);
        doc.Accept(writer);
        std::string out(buffer.GetString(), buffer.GetSize());
        bytes = out.size();
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_SerializeValue(benchmark::State& state) {
    const rapidjson::Document& doc = ParsedDocument();
    size_t bytes = 0;
    for (auto _ : state) {
        std::string out;
        TarnConfigManager::SerializeValue(doc, out);
        bytes = out.size();
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

constexpr unsigned kSameChecks = rapidjson::kParseIterativeFlag |
                                 rapidjson::kParseValidateEncodingFlag |
                                 rapidjson::kParseFullPrecisionFlag;

}  // namespace

// Same checks as ParseDocument (iterative, UTF-8 validated, full precision): the overhead
// figure. The default flags show what the checks themselves cost.
BENCHMARK_TEMPLATE(BM_RapidjsonParse, kSameChecks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseDocument)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_RapidjsonParse, rapidjson::kParseDefaultFlags)->Unit(benchmark::kMillisecond);
// SerializeValue checks UTF-8 like the validating writer; the plain one shows the floor.
BENCHMARK_TEMPLATE(BM_RapidjsonWrite, rapidjson::kWriteValidateEncodingFlag)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_RapidjsonWrite, rapidjson::kWriteDefaultFlags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SerializeValue)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
