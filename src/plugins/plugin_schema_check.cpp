#include "deradidezivizoda/plugins/plugin_schema_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <boost/filesystem.hpp>
#include <cerrno>

#include "deradidezivizoda/plugins/manifest_files.h"
#include "tarn/json/fault_point.h"
#include "tarn/json/json_text.h"
#include "tarn/validator/json_validator.h"

namespace fs = boost::filesystem;

namespace {

const char* const kSchemaFileNames[] = {
    "plugin_version_1_schema.json", "plugin_version_2_schema.json", "plugin_version_3_schema.json"};

// The validator checks manifests switches off: schema defects (0, 1, 8) and members the
// schema does not list (4), so newer manifests may carry members an older host ignores.
const std::unordered_set<int> kManifestCodeSet = {0, 1, 4, 8};

// Reads the whole file; false when it cannot be opened or read (a folder cannot be read).
bool ReadWholeFile(const std::string& path, std::string& text) {
    int fd = TarnConfigStore::FaultableOpen(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    text.clear();
    char buffer[16384];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return n == 0;
}

const std::string kVersionOfProperties = "The property \"version\" of the property \"properties\"";
const std::string kLimitOfVersion = " of the property \"version\" of the property \"properties\"";

// Checks the shape that marks a manifest schema: "properties"."version" with integer
// "minimum" (1, 2 or 3) and "maximum". Returns the problem, or "" with version set.
std::string CheckSchemaShape(const rapidjson::Value& schema, const std::string& path,
                             long& version) {
    if (!schema.IsObject()) {
        return "The schema " + path + " is not a JSON object";
    }
    auto properties = schema.FindMember("properties");
    if (properties == schema.MemberEnd()) {
        return "The schema " + path + " does not have a property called \"properties\"";
    }
    if (!properties->value.IsObject()) {
        return "The schema " + path + "'s property \"properties\" is not a JSON object";
    }
    auto versionMember = properties->value.FindMember("version");
    if (versionMember == properties->value.MemberEnd()) {
        return kVersionOfProperties + " from  the schema " + path + " does not exist";
    }
    const rapidjson::Value& limits = versionMember->value;
    const std::string fromSchema = " from the schema " + path;
    if (!limits.IsObject()) {
        return kVersionOfProperties + fromSchema + " is not a JSON object";
    }
    const std::string notInt64 = " has a value whose type is not Int64";
    auto minimum = limits.FindMember("minimum");
    if (minimum == limits.MemberEnd()) {
        return kVersionOfProperties + fromSchema + " does not have a property called \"minimum\"";
    }
    if (!minimum->value.IsInt64()) {
        return "The property \"minimum\"" + kLimitOfVersion + fromSchema + notInt64;
    }
    version = minimum->value.GetInt64();
    if (version < 1 || version > 3) {
        return "The property \"minimum\"" + kLimitOfVersion + fromSchema +
               " has a value whose type is Int64, but the value is not 1, 2 or 3";
    }
    auto maximum = limits.FindMember("maximum");
    if (maximum == limits.MemberEnd()) {
        return kVersionOfProperties + fromSchema + " does not have a property called \"maximum\"";
    }
    if (!maximum->value.IsInt64()) {
        return "The property \"maximum\"" + kLimitOfVersion + fromSchema + notInt64;
    }
    return std::string();
}

void AddFinding(rapidjson::Document& result, const std::string_view& file,
                const std::string& message) {
    rapidjson::Value text(message.c_str(), static_cast<rapidjson::SizeType>(message.size()),
                          result.GetAllocator());
    AddValidationError(result, file, text);
}

// Adds the findings of one manifest file to result.
void ValidatePluginFile(const std::string& path,
                        const std::unordered_map<long, rapidjson::Document>& schemas,
                        rapidjson::Document& result) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        AddFinding(result, path, "Failed to open the plugin file \"" + path + "\"");
        return;
    }
    rapidjson::Document manifest;
    if (!TarnConfigStore::ParseJsonText(text, manifest)) {
        AddFinding(result, path, "Failed to parse the data from file \"" + path + "\"");
        return;
    }
    auto schema = schemas.find(GetPluginVersion(manifest));
    if (schema == schemas.end()) {
        AddFinding(result, path, "The version is not supported");
        return;
    }
    rapidjson::Document errors;
    JsonValidator::Validate(schema->second, manifest, errors, kManifestCodeSet, path);
    if (!errors.IsArray()) {
        AddFinding(result, path, "Validate did not return a JSON Array");
    } else if (!errors.Empty()) {
        rapidjson::Value copy(errors, result.GetAllocator());
        AddValidationError(result, path, copy);
    }
}

}  // namespace

long CreatePluginSchemaFromFile(const std::string& path, rapidjson::Document& schema,
                                std::string& error) {
    error.clear();
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = "Failed to open the schema file \"" + path + "\"";
        return -1;
    }
    if (!TarnConfigStore::ParseJsonText(text, schema)) {
        error = "Failed to parse the schema file \"" + path + "\"";
        return -1;
    }
    long version = -1;
    error = CheckSchemaShape(schema, path, version);
    return error.empty() ? version : -1;
}

std::unordered_map<long, rapidjson::Document> CreatePluginSchemas(const std::string_view& dir,
                                                                  std::string& error) {
    std::unordered_map<long, rapidjson::Document> schemas;
    for (const char* name : kSchemaFileNames) {
        std::string path = (fs::path(std::string(dir)) / name).string();
        rapidjson::Document schema;
        long version = CreatePluginSchemaFromFile(path, schema, error);
        if (!error.empty()) {
            return {};
        }
        schemas[version] = std::move(schema);
    }
    return schemas;
}

void ValidateAllPlugins(const std::string_view& pluginDir, const std::string_view& schemaDir,
                        rapidjson::Document& result) {
    result.SetArray();
    std::string error;
    auto schemas = CreatePluginSchemas(schemaDir, error);
    if (!error.empty()) {
        AddFinding(result, schemaDir, error);
        return;
    }
    std::string walkError;
    for (const std::string& manifest : TarnConfigManager::FindManifestFiles(pluginDir, walkError)) {
        boost::system::error_code gone;  // removed since the walk: reported by its own path
        fs::path path = fs::canonical(manifest, gone);
        ValidatePluginFile(gone ? manifest : path.string(), schemas, result);
    }
    if (!walkError.empty()) {
        boost::system::error_code ignored;
        std::string shown = fs::weakly_canonical(std::string(pluginDir), ignored).string();
        AddFinding(result, shown,
                   "Failed to iterate over " + shown + " recursively, error: " + walkError);
    }
}

void AddValidationError(rapidjson::Document& result, const std::string_view& file,
                        rapidjson::Value& errors) {
    auto& allocator = result.GetAllocator();
    rapidjson::Value finding(rapidjson::kObjectType);
    finding.AddMember(
        "file",
        rapidjson::Value(file.data(), static_cast<rapidjson::SizeType>(file.size()), allocator),
        allocator);
    finding.AddMember("validation_errors", errors, allocator);
    result.PushBack(finding, allocator);
}

long GetPluginVersion(const rapidjson::Value& manifest) {
    if (!manifest.IsObject()) {
        return 1;
    }
    auto version = manifest.FindMember("version");
    if (version == manifest.MemberEnd() || !version->value.IsInt64()) {
        return 1;
    }
    return version->value.GetInt64();
}

std::string JsonToString(const rapidjson::Value& value) {
    return TarnConfigStore::WriteJsonPretty(value);
}
