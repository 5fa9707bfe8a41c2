#include "deradidezivizoda/plugins/plugin.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/join.hpp>
#include <boost/algorithm/string/split.hpp>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/plugins/plugin_schema_check.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"
#include "tarn/schemastore/schema_store.h"
#include "tarn/validator/json_validator.h"

namespace TarnConfigManager {

namespace {

using SchemaMap = std::unordered_map<long, rapidjson::Document>;

// The manifest schemas, loaded on first use and kept for the life of the process. A failed
// load is not kept, so the next call tries again (for example once a package has laid the
// files out); one thread loads while the others wait.
const SchemaMap& PluginSchemas() {
    static std::mutex mutex;
    static std::optional<SchemaMap> schemas;
    std::lock_guard<std::mutex> lock(mutex);
    if (!schemas) {
        std::string error;
        SchemaMap loaded = CreatePluginSchemas(TarnPaths::kPluginSchemaDir, error);
        if (!error.empty()) {
            throw ConfigManagerException(UNEXPECTED_ERROR, error.c_str());
        }
        schemas = std::move(loaded);
    }
    return *schemas;
}

// Manifests that passed their schema, by version and compact text. Every operation builds its
// own plugin manager, which reads every manifest again; one unchanged since it passed is not
// checked again (the manifest schemas stay the same for the life of the process).
class ValidManifests {
public:
    bool Contains(long version, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        return known_.count(Key(version, text)) != 0;
    }
    void Add(long version, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (known_.size() >= kLimit) {
            known_.clear();  // a bound, for a process that sees manifests come and go
        }
        known_.insert(Key(version, text));
    }

private:
    static constexpr size_t kLimit = 4096;
    static std::string Key(long version, const std::string& text) {
        return std::to_string(version) + ":" + text;
    }
    std::mutex mutex_;
    std::unordered_set<std::string> known_;
};

ValidManifests& KnownValidManifests() {
    static ValidManifests manifests;
    return manifests;
}

std::vector<std::string> Split(const std::string& text, const char* separators) {
    std::vector<std::string> pieces;
    boost::split(pieces, text, boost::is_any_of(separators));
    return pieces;
}

// Keeps only "error" and "errArgs" of every error object, in their order.
void KeepErrorTexts(rapidjson::Value& errors) {
    for (rapidjson::Value& error : errors.GetArray()) {
        if (!error.IsObject()) {
            continue;
        }
        for (auto member = error.MemberBegin(); member != error.MemberEnd();) {
            std::string_view name(member->name.GetString(), member->name.GetStringLength());
            member =
                (name == "error" || name == "errArgs") ? member + 1 : error.EraseMember(member);
        }
    }
}

// Appends "provides" and the "depends" tags of an operation object to op.
void ReadOperation(const rapidjson::Value& operation, PluginApplyOperation& op) {
    op.provides = operation["provides"].GetString();
    for (const rapidjson::Value& tag : operation["depends"].GetArray()) {
        op.depends.emplace_back(tag.GetString());
    }
}

}  // namespace

Plugin::Plugin(const char* path) {
    if (path == nullptr) {
        throw ConfigManagerException(UNEXPECTED_ERROR, "Cannot create Plugin from NULL filename");
    }
    CSLogger::Log(2, "Processing file %s", path);
    CreateDocumentFromFile(path, manifest);
    version = GetPluginVersion(manifest);
    validateFile(path);
    std::vector<std::string> folders = SetIdentity(path);
    if (version <= 2) {
        csoIds = KeyList(manifest["accepts"]);
    } else {
        // Version 3 serves the one key its folders name: <component>/<group>/<key>[/...].
        csoIds.emplace_back(folders[2], folders[1], folders[0]);
    }
    if (!csoIds.empty()) {
        auto store = TarnSchemaStore::SchemaStore::GetStore();
        if (!store) {
            ThrowException<ConfigManagerException>(SCHEMA_STORE_ERROR);
        }
        const auto& first = csoIds.front();
        schemaText = store->GetSchemaText(first.GetComponent(), first.GetGroup(), first.GetKey());
    }
}

Plugin::~Plugin() = default;

// The id and module come from the folders between the plugin directory and the file:
// versions 0 to 2 lie one or two folders deep, version 3 three (component, group, key) or
// four folders deep. Anything else, or a file outside the plugin directory, is refused.
std::vector<std::string> Plugin::SetIdentity(const char* path) {
    type = manifest["type"].GetString();
    if (version < 0 || version > 3) {
        CSLogger::Log(0, "Invalid version found in: %s", path);
        ThrowException<ConfigManagerException>(UNSUPPORTED_PLUGIN_VERSION, path);
    }
    const size_t prefix = std::strlen(TarnPaths::kPluginDir);
    std::vector<std::string> folders;
    if (std::strncmp(path, TarnPaths::kPluginDir, prefix) == 0) {
        folders = Split(path + prefix, "/");
        folders.pop_back();  // the file name itself is not used
    }
    const size_t least = version == 3 ? 3 : 1;
    if (folders.size() < least || folders.size() > least + 1) {
        CSLogger::Log(0, "Invalid filepath %s for this version %ld", path, version);
        ThrowException<ConfigManagerException>(INVALID_PLUGIN, path);
    }
    id = boost::algorithm::join(folders, ":");
    if (type == "c++") {
        module = "lib" + boost::algorithm::join(folders, "_") + ".so";
    }
    return folders;
}

std::vector<TarnConfigStore::ConfigStoreObjectId> Plugin::KeyList(
    const rapidjson::Value& keys) const {
    std::vector<TarnConfigStore::ConfigStoreObjectId> ids;
    for (const rapidjson::Value& key : keys.GetArray()) {
        auto pieces = Split(key.GetString(), ":");
        if (pieces.size() < 3) {
            std::string message = "The key \"" + std::string(key.GetString()) +
                                  "\" of a plugin manifest is not of the form "
                                  "component:group:key";
            throw ConfigManagerException(UNEXPECTED_ERROR, message.c_str());
        }
        ids.emplace_back(pieces[2], pieces[1], pieces[0]);
    }
    return ids;
}

std::string Plugin::GetApplyGroup() const {
    CSLogger::Log(3, "Processing apply_group in version=%ld, module=%s,", version, module.c_str());
    if (version == 0 || version == 1) {
        return manifest["apply_group"].GetString();
    }
    if (version == 2 || version == 3) {
        return manifest["apply"]["apply_group"].GetString();
    }
    return std::string();
}

std::vector<PluginApplyOperation> Plugin::GetOperations() const {
    CSLogger::Log(3, "Processing apply_operations in version=%ld, module=%s,", version,
                  module.c_str());
    const rapidjson::Value* operations = nullptr;
    if (version == 0 || version == 1) {
        operations = &manifest["operations"];
    } else if (version == 2 || version == 3) {
        operations = &manifest["apply"]["operations"];
    } else {
        return {};
    }
    std::vector<PluginApplyOperation> result;
    for (const auto& member : operations->GetObject()) {
        PluginApplyOperation op;
        op.name = member.name.GetString();
        ReadOperation(member.value, op);
        result.push_back(std::move(op));
    }
    return result;
}

void Plugin::GetRemediateOperation(PluginApplyOperation& op) const {
    if (version != 3) {
        return;
    }
    op.name = "REMEDIATE";
    ReadOperation(manifest["apply"]["REMEDIATE"], op);
}

bool Plugin::HasApplySupport() const {
    if (version == 2 || version == 3) {
        return manifest.HasMember("apply");
    }
    return true;
}

bool Plugin::HasApplyBootSupport() const {
    if (version == 0 || version == 1) {
        return manifest["boot"].GetBool();
    }
    if (version == 2 || version == 3) {
        return manifest["apply"]["boot"].GetBool();
    }
    return false;
}

bool Plugin::HasSectionSupport(const char* section) const {
    if (version != 2 && version != 3) {
        return false;
    }
    auto member = manifest.FindMember(section);
    return member != manifest.MemberEnd() && member->value["supports"].GetBool();
}

bool Plugin::HasImpactSupport() const {
    return HasSectionSupport("impact");
}

bool Plugin::HasExtractSupport() const {
    return HasSectionSupport("extract");
}

bool Plugin::HasValidateSupport() const {
    return HasSectionSupport("validation");
}

bool Plugin::CheckType(PluginType t) const {
    switch (t) {
        case APPLY:
            return HasApplySupport();
        case APPLY_BOOT:
            // A manifest without an apply section has no boot flag to read.
            return HasApplySupport() && HasApplyBootSupport();
        case EXTRACT:
            return HasExtractSupport();
        case IMPACT:
            return HasImpactSupport();
        case VALIDATE:
            return HasValidateSupport();
    }
    return false;
}

// The key list of section.member when that is an array; nullptr otherwise.
const rapidjson::Value* Plugin::OptionalKeys(const char* section, const char* member) const {
    const rapidjson::Value& owner = manifest[section];
    auto keys = owner.FindMember(member);
    return keys != owner.MemberEnd() && keys->value.IsArray() ? &keys->value : nullptr;
}

std::vector<TarnConfigStore::ConfigStoreObjectId> Plugin::GetExtractConfigIds() const {
    if (!HasExtractSupport()) {
        return {};
    }
    const rapidjson::Value* keys = OptionalKeys("extract", "accepts");
    return keys ? KeyList(*keys) : csoIds;
}

std::vector<TarnConfigStore::ConfigStoreObjectId> Plugin::GetImpactCacheDetails() const {
    if (!HasImpactSupport()) {
        return {};
    }
    const rapidjson::Value* keys = OptionalKeys("impact", "cache_drift");
    return keys ? KeyList(*keys) : std::vector<TarnConfigStore::ConfigStoreObjectId>();
}

std::vector<TarnConfigStore::ConfigStoreObjectId> Plugin::GetReferences() const {
    if (!HasValidateSupport()) {
        return {};
    }
    const rapidjson::Value* keys = OptionalKeys("validation", "references");
    return keys ? KeyList(*keys) : std::vector<TarnConfigStore::ConfigStoreObjectId>();
}

void Plugin::validateFile(const char* path) const {
    const SchemaMap& schemas = PluginSchemas();
    const std::string versionText = std::to_string(version);
    auto schema = schemas.find(version);
    if (schema == schemas.end()) {
        std::string message = "The version of the plugin defined in '" + std::string(path) +
                              "' which is " + versionText +
                              " does not have a matching hardcoded schema to use for validation";
        throw ConfigManagerException(UNEXPECTED_ERROR, message.c_str());
    }
    const std::string text = TarnConfigStore::WriteJsonText(manifest);
    if (KnownValidManifests().Contains(version, text)) {
        return;
    }
    rapidjson::Document result;
    JsonValidator::Validate(schema->second, manifest, result, {0, 1, 4, 8}, "");
    std::string message = "Failed to validate the plugin defined in '" + std::string(path) +
                          "' , version " + versionText + ", errors: ";
    if (result.IsArray() && result.Empty()) {
        KnownValidManifests().Add(version, text);
        return;
    }
    if (result.IsArray()) {
        KeepErrorTexts(result);
        message += TarnConfigStore::WriteJsonText(result);
    } else {
        message += "The validation result is not an array";
    }
    throw ConfigManagerException(UNEXPECTED_ERROR, message.c_str());
}

}  // namespace TarnConfigManager
