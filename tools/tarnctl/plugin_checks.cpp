#include "plugin_checks.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

#include "deradidezivizoda/plugins/manifest_files.h"
#include "deradidezivizoda/plugins/plugin_schema_check.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"
#include "tarn/schemastore/schema_store.h"

namespace Tarnctl {

namespace fs = std::filesystem;

namespace {

using Allocator = rapidjson::MemoryPoolAllocator<>;

// One problem of one manifest, in the validator's error shape.
struct Problem {
    std::string field;  // place in the manifest, "/apply/REMEDIATE/provides"
    std::string error;  // text with %s for each argument
    std::vector<std::string> args;
};

// The folders of manifest below base, or none when it does not lie below base.
std::vector<std::string> FoldersBelow(const fs::path& base, const fs::path& manifest) {
    fs::path relative = manifest.parent_path().lexically_relative(base);
    std::vector<std::string> folders;
    if (relative.empty() || *relative.begin() == "..") {
        return folders;
    }
    for (const fs::path& piece : relative) {
        if (piece != ".") {
            folders.push_back(piece.string());
        }
    }
    return folders;
}

std::string Joined(const std::vector<std::string>& pieces, size_t count, char separator) {
    std::string text;
    for (size_t i = 0; i < count && i < pieces.size(); ++i) {
        text += (i ? std::string(1, separator) : "") + pieces[i];
    }
    return text;
}

// The "provides" tags of the manifest's apply operations, with their places.
std::vector<std::pair<std::string, std::string>> ProvidedTags(const rapidjson::Value& manifest,
                                                              long version) {
    std::vector<std::pair<std::string, std::string>> tags;
    auto add = [&tags](const rapidjson::Value& operation, const std::string& place) {
        if (operation.IsObject() && operation.HasMember("provides") &&
            operation["provides"].IsString()) {
            tags.emplace_back(place + "/provides", operation["provides"].GetString());
        }
    };
    const rapidjson::Value* operations = nullptr;
    std::string place;
    if (version == 3 || version == 2) {
        if (!manifest.HasMember("apply") || !manifest["apply"].IsObject()) {
            return tags;
        }
        const rapidjson::Value& apply = manifest["apply"];
        if (version == 3) {
            if (apply.HasMember("REMEDIATE")) {
                add(apply["REMEDIATE"], "/apply/REMEDIATE");
            }
            return tags;
        }
        operations = apply.HasMember("operations") ? &apply["operations"] : nullptr;
        place = "/apply/operations/";
    } else {
        operations = manifest.HasMember("operations") ? &manifest["operations"] : nullptr;
        place = "/operations/";
    }
    if (operations && operations->IsObject()) {
        for (const auto& operation : operations->GetObject()) {
            add(operation.value, place + operation.name.GetString());
        }
    }
    return tags;
}

// Key strings "c:g:k" of a member holding a list of them, with their places.
void AddKeys(const rapidjson::Value& list, const std::string& place,
             std::vector<std::pair<std::string, std::string>>& keys) {
    if (!list.IsArray()) {
        return;
    }
    for (rapidjson::SizeType i = 0; i < list.Size(); ++i) {
        if (list[i].IsString()) {
            keys.emplace_back(place + "/" + std::to_string(i), list[i].GetString());
        }
    }
}

// The keys the manifest names, with their places ("" for the folders of version 3).
std::vector<std::pair<std::string, std::string>> NamedKeys(
    const rapidjson::Value& manifest, long version, const std::vector<std::string>& folders) {
    std::vector<std::pair<std::string, std::string>> keys;
    if (version == 3) {
        keys.emplace_back("", Joined(folders, 3, ':'));
    } else if (manifest.HasMember("accepts")) {
        AddKeys(manifest["accepts"], "/accepts", keys);
    }
    const std::pair<const char*, const char*> lists[] = {
        {"impact", "cache_drift"}, {"extract", "accepts"}, {"validation", "references"}};
    for (const auto& list : lists) {
        if (manifest.HasMember(list.first) && manifest[list.first].IsObject() &&
            manifest[list.first].HasMember(list.second)) {
            AddKeys(manifest[list.first][list.second],
                    std::string("/") + list.first + "/" + list.second, keys);
        }
    }
    return keys;
}

// id empty: the plugin's id is not known (a manifest checked outside the plugin directory,
// at a depth that gives no id), so only the operation part of a task key is checked.
void CheckProvides(const rapidjson::Value& manifest, long version, const std::string& id,
                   std::vector<Problem>& problems) {
    std::vector<std::string> operations = {"ADD", "SET", "DELETE"};
    if (version == 3) {
        operations = {"REMEDIATE"};
    }
    std::string shownId = id.empty() ? "<plugin id>" : id;
    std::string expected;
    for (size_t i = 0; i < operations.size(); ++i) {
        expected += (i == 0                       ? ""
                     : i + 1 == operations.size() ? " or "
                                                  : ", ") +
                    operations[i] + ":" + shownId;
    }
    for (const auto& tag : ProvidedTags(manifest, version)) {
        bool taskKey = false;
        for (const std::string& operation : operations) {
            std::string prefix = operation + ":";
            taskKey = taskKey || (id.empty() ? tag.second.rfind(prefix, 0) == 0 &&
                                                   tag.second.size() > prefix.size()
                                             : tag.second == prefix + id);
        }
        if (!taskKey) {
            problems.push_back({tag.first,
                                "Provides %s, a tag no change runs under, so this operation "
                                "never applies anything: provide %s",
                                {tag.second, expected}});
        }
    }
}

void CheckKeySchemas(const rapidjson::Value& manifest, long version,
                     const std::vector<std::string>& folders, std::vector<Problem>& problems) {
    auto store = TarnSchemaStore::SchemaStore::GetStore();
    for (const auto& key : NamedKeys(manifest, version, folders)) {
        std::vector<std::string> pieces;
        std::stringstream text(key.second);
        for (std::string piece; pieces.size() < 3 && std::getline(text, piece, ':');) {
            pieces.push_back(piece);
        }
        if (pieces.size() == 3 &&
            TarnSchemaStore::GetSchema(pieces[0], pieces[1], pieces[2], store)) {
            continue;
        }
        problems.push_back({key.first,
                            "Key %s has no key schema in %s: the library manages only keys with "
                            "a schema",
                            {Joined(pieces, 3, ':'), TarnPaths::kSchemaDir}});
    }
}

void CheckType(const rapidjson::Value& manifest, std::vector<Problem>& problems) {
    if (!manifest.HasMember("type") || !manifest["type"].IsString()) {
        return;
    }
    std::string type = manifest["type"].GetString();
    if (type != "c++" && type != "python") {
        problems.push_back(
            {"/type", "Type %s has no runner: \"c++\" and \"python\" are served", {type}});
    }
}

// folders: below the plugin directory; inPluginDir: whether they are (else the folders are
// below the directory checked, which may be one plugin's own folder).
std::vector<Problem> CheckManifest(const rapidjson::Value& manifest,
                                   const std::vector<std::string>& folders, bool inPluginDir) {
    std::vector<Problem> problems;
    long version = GetPluginVersion(manifest);
    bool depthFits = version == 3 ? folders.size() == 3 || folders.size() == 4
                                  : folders.size() == 1 || folders.size() == 2;
    if (!depthFits && inPluginDir) {
        problems.push_back({"",
                            "Lies %s folders below the plugin directory: version %s needs 1 or 2 "
                            "(versions 1, 2), 3 or 4 (version 3)",
                            {std::to_string(folders.size()), std::to_string(version)}});
        return problems;
    }
    CheckType(manifest, problems);
    CheckProvides(manifest, version, depthFits ? Joined(folders, folders.size(), ':') : "",
                  problems);
    if (depthFits || version != 3) {
        CheckKeySchemas(manifest, version, folders, problems);
    }
    return problems;
}

void AddFinding(rapidjson::Document& findings, const std::string& file,
                const std::vector<Problem>& problems) {
    Allocator& allocator = findings.GetAllocator();
    rapidjson::Value errors(rapidjson::kArrayType);
    for (const Problem& problem : problems) {
        rapidjson::Value error(rapidjson::kObjectType);
        error.AddMember("field", rapidjson::Value(file + problem.field, allocator), allocator);
        rapidjson::Value args(rapidjson::kArrayType);
        for (const std::string& arg : problem.args) {
            args.PushBack(rapidjson::Value(arg, allocator), allocator);
        }
        error.AddMember("errArgs", args, allocator);
        error.AddMember("error", rapidjson::Value(problem.error, allocator), allocator);
        errors.PushBack(error, allocator);
    }
    AddValidationError(findings, file, errors);
}

}  // namespace

void AddPluginFindings(const std::string& directory, rapidjson::Document& findings) {
    std::set<std::string> found;
    for (const auto& finding : findings.GetArray()) {
        found.insert(finding["file"].GetString());
    }
    std::error_code error;
    fs::path pluginDir = fs::weakly_canonical(TarnPaths::kPluginDir, error);
    fs::path base = fs::weakly_canonical(directory, error);
    bool inPluginDir = base == pluginDir || !FoldersBelow(pluginDir, base / "x").empty();
    if (!inPluginDir) {
        pluginDir = base;
    }
    std::vector<fs::path> manifests;
    std::string walkError;  // ValidateAllPlugins reports it
    for (const std::string& manifest :
         TarnConfigManager::FindManifestFiles(base.string(), walkError)) {
        manifests.push_back(fs::canonical(manifest, error));
    }
    std::sort(manifests.begin(), manifests.end());
    for (const fs::path& path : manifests) {
        rapidjson::Document manifest;
        // Files with schema findings, or that do not read, are reported already.
        if (found.count(path.string()) || !TarnConfigStore::ParseJsonFile(path.c_str(), manifest) ||
            !manifest.IsObject()) {
            continue;
        }
        std::vector<Problem> problems =
            CheckManifest(manifest, FoldersBelow(pluginDir, path), inPluginDir);
        if (!problems.empty()) {
            AddFinding(findings, path.string(), problems);
        }
    }
}

}  // namespace Tarnctl
