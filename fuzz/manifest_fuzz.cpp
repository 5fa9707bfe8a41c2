// libFuzzer target for plugin manifests: the first byte picks how deep below the plugin
// directory the manifest lies (0 to 5 folders), the rest is the manifest. A manifest is
// either refused with an exception or loaded, and every query of a loaded plugin answers.
#include <exception>
#include <filesystem>
#include <string>

#include "deradidezivizoda/plugins/plugin.h"
#include "fuzz_host.h"
#include "tarn/paths.h"

namespace fs = std::filesystem;

namespace {

const char* const kFolders[] = {"net", "dns", "servers", "v", "extra"};

void InstallManifestSchemas() {
    for (int version = 1; version <= 3; ++version) {
        std::string name = "plugin_version_" + std::to_string(version) + "_schema.json";
        fs::copy_file(std::string(TARN_SOURCE_DIR) + "/plugins/schemas/" + name,
                      std::string(TarnPaths::kPluginSchemaDir) + name,
                      fs::copy_options::overwrite_existing);
    }
}

// Every query a plugin manager and the runs make of a loaded plugin.
void Query(const TarnConfigManager::Plugin& plugin) {
    plugin.GetId();
    plugin.GetCSOIdList();
    plugin.GetModule();
    for (int type = TarnConfigManager::APPLY; type <= TarnConfigManager::VALIDATE; ++type) {
        plugin.CheckType(static_cast<TarnConfigManager::PluginType>(type));
    }
    if (plugin.HasApplySupport()) {
        plugin.GetApplyGroup();
        plugin.HasApplyBootSupport();
        // As the plugin manager asks: version 3 has its one operation, the others a list.
        if (plugin.GetVersion() == 3) {
            TarnConfigManager::PluginApplyOperation remediate;
            plugin.GetRemediateOperation(remediate);
        } else {
            plugin.GetOperations();
        }
    }
    if (plugin.HasExtractSupport()) {
        plugin.GetExtractConfigIds();
    }
    if (plugin.HasImpactSupport()) {
        plugin.GetImpactCacheDetails();
    }
    if (plugin.HasValidateSupport()) {
        plugin.GetReferences();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TarnFuzz::PrepareHostRoot();
    InstallManifestSchemas();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string dir = TarnPaths::kPluginDir;
    for (unsigned depth = 0; depth < data[0] % 6; ++depth) {
        dir += std::string(kFolders[depth]) + "/";
    }
    fs::create_directories(dir);
    std::string path = dir + "manifest.json";
    TarnFuzz::WriteText(path, TarnFuzz::InputText(data + 1, size - 1));
    std::unique_ptr<TarnConfigManager::Plugin> plugin;
    try {
        plugin = std::make_unique<TarnConfigManager::Plugin>(path.c_str());
    } catch (const std::exception&) {
        return 0;
    }
    Query(*plugin);
    return 0;
}
