// A PluginManager for APPLY over 200 manifests (versions 1, 2 and 3 mixed, with operation
// dependencies across plugins): every manifest read, validated and ordered, as each
// operation that applies configuration pays it. The manifests are written below the root's
// plugin directory in the folder bench/ and removed afterwards; the manifest schemas must
// be laid out (a plain build does that).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "deradidezivizoda/plugins/plugin_manager.h"
#include "tarn/paths.h"

namespace fs = std::filesystem;

namespace {

constexpr int kManifests = 200;
const char* const kGroups[] = {"system-early", "network", "storage", "system"};

// Plugin i provides tag t<i> and depends on the tag of an earlier plugin of its group.
std::string Manifest(int i) {
    std::string group = kGroups[i % 4];
    std::string tag = "\"t" + std::to_string(i) + "\"";
    std::string depends = i >= 4 ? "\"t" + std::to_string(i - 4) + "\"" : "";
    std::string operation = R"({"provides": )" + tag + R"(, "depends": [)" + depends + "]}";
    std::string key = "\"c" + std::to_string(i % 10) + ":g" + std::to_string(i) + ":k\"";
    switch (i % 3) {
        case 0:
            return R"({"type": "c++", "accepts": [)" + key + R"(], "apply_group": ")" + group +
                   R"(", "boot": true, "operations": {"op": )" + operation + "}}";
        case 1:
            return R"({"version": 2, "type": "python", "accepts": [)" + key +
                   R"(], "apply": {"apply_group": ")" + group +
                   R"(", "boot": false, "operations": {"op": )" + operation +
                   R"(}}, "impact": {"supports": true}, "extract": {"supports": true}})";
        default:
            return R"({"version": 3, "type": "c++", "apply": {"apply_group": ")" + group +
                   R"(", "boot": false, "REMEDIATE": )" + operation + "}}";
    }
}

std::string ManifestDir(int i) {
    std::string base = std::string(TarnPaths::kPluginDir) + "bench/";
    return i % 3 == 2 ? base + "p" + std::to_string(i) + "/group/key" : base + std::to_string(i);
}

bool LayOutManifests() {
    for (int i = 0; i < kManifests; ++i) {
        fs::create_directories(ManifestDir(i));
        std::ofstream(ManifestDir(i) + "/manifest.json") << Manifest(i);
    }
    return fs::exists(std::string(TarnPaths::kPluginSchemaDir) + "plugin_version_3_schema.json");
}

void BM_PluginManagerApply(benchmark::State& state) {
    if (!LayOutManifests()) {
        state.SkipWithError("manifest schemas missing in the root: build the project first");
    }
    size_t order = 0;
    for (auto _ : state) {
        try {
            TarnConfigManager::PluginManager manager(TarnConfigManager::APPLY);
            order = manager.GetDependencies().size();
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    state.counters["nodes"] = static_cast<double>(order);
    fs::remove_all(std::string(TarnPaths::kPluginDir) + "bench");
}
BENCHMARK(BM_PluginManagerApply)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
