#include "plugin_files.h"

#include <filesystem>

#include "host_root_fixture.h"
#include "tarn/paths.h"

namespace fs = std::filesystem;

namespace TarnTest {

void InstallManifestSchemas() {
    fs::create_directories(TarnPaths::kPluginSchemaDir);
    for (int version = 1; version <= 3; ++version) {
        std::string name = "plugin_version_" + std::to_string(version) + "_schema.json";
        fs::copy_file(std::string(TARN_SOURCE_DIR) + "/plugins/schemas/" + name,
                      std::string(TarnPaths::kPluginSchemaDir) + name,
                      fs::copy_options::overwrite_existing);
    }
}

std::string InstallManifest(const std::string& relativeDir, const std::string& text,
                            const std::string& fileName) {
    std::string dir = std::string(TarnPaths::kPluginDir) + relativeDir;
    std::string path = relativeDir.empty() ? dir + fileName : dir + "/" + fileName;
    WriteFile(path, text);
    return path;
}

void InstallExtractTestPlugin(const std::string& relativeDir, const std::string& manifest) {
    std::string path = InstallManifest(relativeDir, manifest);
    WriteFile(path.substr(0, path.rfind('/')) + "/plugin.py",
              ReadFile(std::string(TARN_SOURCE_DIR) + "/tests/extract/extract_test_plugin.py"));
}

}  // namespace TarnTest
