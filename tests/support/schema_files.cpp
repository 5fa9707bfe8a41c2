#include "schema_files.h"

#include <filesystem>
#include <stdexcept>

#include "host_root_fixture.h"
#include "tarn/paths.h"

namespace fs = std::filesystem;

namespace TarnTest {

std::string KeySchemaPath(const std::string& component, const std::string& group,
                          const std::string& key) {
    return std::string(TarnPaths::kSchemaDir) + component + "/" + group + "/" + key + ".json";
}

void InstallKeySchema(const std::string& component, const std::string& group,
                      const std::string& key, const std::string& fileText) {
    std::string path = KeySchemaPath(component, group, key);
    std::string temp = fs::path(path).parent_path().string() + "/." + key + ".json.new";
    WriteFile(temp, fileText);
    fs::rename(temp, path);
}

void InstallKeySchema(const std::string& component, const std::string& group,
                      const std::string& key, const std::string& definition,
                      const std::string& instanceKey) {
    std::string instanceFacts =
        instanceKey.empty() ? std::string()
                            : "\"multiInstance\": true, \"instanceKey\": \"" + instanceKey + "\", ";
    InstallKeySchema(component, group, key,
                     "{" + instanceFacts + "\"definition\": " + definition + "}");
}

void RemoveKeySchema(const std::string& component, const std::string& group,
                     const std::string& key) {
    std::error_code ignored;
    fs::remove(KeySchemaPath(component, group, key), ignored);
}

}  // namespace TarnTest
