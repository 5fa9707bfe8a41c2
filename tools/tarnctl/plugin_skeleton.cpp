#include "plugin_skeleton.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <regex>
#include <vector>

#include "console.h"
#include "error_report.h"
#include "exit_codes.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace Tarnctl {

namespace fs = std::filesystem;

namespace {

struct KeyName {
    std::string component, group, key;

    std::string Id() const { return component + ":" + group + ":" + key; }
    std::string Folders() const { return component + "/" + group + "/" + key; }
};

// Names that are safe as folder, file and CMake target names.
KeyName ParseKey(const std::string& text) {
    static const std::regex kKey("([A-Za-z0-9_-]+)/([A-Za-z0-9_-]+)/([A-Za-z0-9_-]+)");
    std::smatch match;
    if (!std::regex_match(text, match, kKey)) {
        throw CommandError(
            "plugins new needs the key as COMPONENT/GROUP/KEY (letters, digits, "
            "'_' and '-'), not '" +
            text + "'");
    }
    return {match[1], match[2], match[3]};
}

// Replaces every @NAME@ of the template by the key's pieces.
std::string Filled(std::string text, const KeyName& name) {
    const std::pair<std::string, std::string> fields[] = {
        {"@ID@", name.Id()},
        {"@FOLDERS@", name.Folders()},
        {"@TARGET@", name.component + "_" + name.group + "_" + name.key}};
    for (const auto& field : fields) {
        for (size_t at; (at = text.find(field.first)) != std::string::npos;) {
            text.replace(at, field.first.size(), field.second);
        }
    }
    return text;
}

const char kSchema[] = R"({
    "description": "Key schema written by tarnctl plugins new: say what the value holds.",
    "definition": {
        "type": "object",
        "properties": {"value": {"type": "string"}}
    }
}
)";

const char kManifest[] = R"({
    "version": 3,
    "type": "@TYPE@",
    "apply": {
        "apply_group": "system",
        "boot": false,
        "REMEDIATE": {"provides": "REMEDIATE:@ID@", "depends": []}
    },
    "impact": {"supports": true},
    "extract": {"supports": true}
}
)";

const char kPython[] =
    R"PY(# Plugin for the key @ID@, written by tarnctl plugins new. It keeps the value as JSON in
# one file under the host root: replace that with the real work.
import json
import os

import tarn_plugin as tp

STATE = "/var/lib/tarn/plugins/@FOLDERS@.json"


@tp.apply
def apply(request):
    path = request.host_path(STATE)
    for change in request.inputs:
        if change.operation == "DELETE":
            if os.path.exists(path):
                os.remove(path)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path + ".new", "w", encoding="utf-8") as state:
            json.dump(change.config, state)
        os.replace(path + ".new", path)


@tp.impact
def impact(request):
    return [tp.ImpactVerdict(change.id, tp.Impact.NONE) for change in request.inputs]


@tp.extract
def extract(request):
    path = request.host_path(STATE)
    try:
        with open(path, encoding="utf-8") as state:
            value = json.load(state)
    except FileNotFoundError:
        return []
    except (OSError, ValueError) as e:
        raise tp.PluginError("com.example.plugin.unreadable", [path, str(e)]) from None
    return [tp.ConfigObject(key, value) for key in request.ids]
)PY";

const char kCpp[] = R"CPP(// Plugin for the key @ID@, written by tarnctl plugins new. It keeps the
                          // value as JSON text
                          // in one file under the host root: replace that with the real work.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tarn_plugin.h"

                          namespace {

                          const char kState[] = "/var/lib/tarn/plugins/@FOLDERS@.json";

                          void Apply(const TarnPlugin::Request& request) {
                              std::filesystem::path path = request.HostPath(kState);
                              for (const TarnPlugin::ConfigInput& change : request.inputs) {
                                  if (change.operation == "DELETE") {
                                      std::filesystem::remove(path);
                                      continue;
                                  }
                                  std::filesystem::create_directories(path.parent_path());
                                  std::filesystem::path next = path.string() + ".new";
                                  std::ofstream(next, std::ios::trunc) << change.config;
                                  std::filesystem::rename(next, path);
                              }
                          }

                          std::vector<TarnPlugin::ImpactVerdict> Impact(const TarnPlugin::Request& request) {
                              std::vector<TarnPlugin::ImpactVerdict> verdicts;
                              for (const TarnPlugin::ConfigInput& change : request.inputs) {
                                  verdicts.push_back({change.id, TarnPlugin::Impact::kNone, true});
                              }
                              return verdicts;
                          }

                          std::vector<TarnPlugin::ConfigObject> Extract(const TarnPlugin::Request& request) {
                              std::ifstream file(request.HostPath(kState));
                              if (!file) {
                                  return {};
                              }
                              std::stringstream text;
                              text << file.rdbuf();
                              std::vector<TarnPlugin::ConfigObject> objects;
                              for (const TarnPlugin::ObjectId& key : request.ids) {
                                  objects.push_back({key, text.str()});
                              }
                              return objects;
                          }

                          }  // namespace

                          TARN_PLUGIN_APPLY(Apply)
                          TARN_PLUGIN_IMPACT(Impact)
                          TARN_PLUGIN_EXTRACT(Extract)
)CPP";

const char kCMake[] =
    R"(# Builds the plugin module lib@TARGET@.so beside its manifest, against the installed
# package: cmake -S . -B build && cmake --build build
cmake_minimum_required(VERSION 3.22)
project(@TARGET@_plugin LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 17)
find_package(deradidezivizoda 1 REQUIRED)
add_library(@TARGET@ MODULE plugin.cpp)
target_link_libraries(@TARGET@ PRIVATE deradidezivizoda::plugin_sdk)
set_target_properties(@TARGET@ PROPERTIES PREFIX lib CXX_VISIBILITY_PRESET hidden
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
)";

struct SkeletonFile {
    std::string path;
    std::string text;
};

std::vector<SkeletonFile> Files(const std::string& language, const KeyName& name) {
    fs::path folder = fs::path(TarnPaths::kPluginDir) / name.Folders();
    std::string manifest = kManifest;
    manifest.replace(manifest.find("@TYPE@"), 6, language);
    std::vector<SkeletonFile> files = {
        {TarnPaths::kSchemaDir + name.Folders() + ".json", kSchema},
        {(folder / "manifest.json").string(), Filled(manifest, name)}};
    if (language == "python") {
        files.push_back({(folder / "plugin.py").string(), Filled(kPython, name)});
    } else {
        files.push_back({(folder / "plugin.cpp").string(), Filled(kCpp, name)});
        files.push_back({(folder / "CMakeLists.txt").string(), Filled(kCMake, name)});
    }
    return files;
}

}  // namespace

int RunPluginsNew(const Console& console, const std::string& language, const std::string& key) {
    if (language != "python" && language != "c++") {
        throw CommandError("plugins new --lang takes python or c++, not '" + language + "'");
    }
    std::vector<SkeletonFile> files = Files(language, ParseKey(key));
    for (const SkeletonFile& file : files) {
        if (fs::exists(file.path)) {
            throw CommandError(file.path + " exists already: plugins new writes nothing");
        }
    }
    rapidjson::Document out(rapidjson::kObjectType);
    rapidjson::Value written(rapidjson::kArrayType);
    for (const SkeletonFile& file : files) {
        fs::create_directories(fs::path(file.path).parent_path());
        if (!TarnConfigStore::WriteFileAtomically(file.path, file.text)) {
            throw CommandError("cannot write " + file.path + ": " + std::strerror(errno));
        }
        written.PushBack(rapidjson::Value(file.path, out.GetAllocator()), out.GetAllocator());
        if (!console.Json()) {
            console.Line("wrote " + file.path);
        }
    }
    if (console.Json()) {
        out.AddMember("files", written, out.GetAllocator());
        console.PrintJson(out);
    }
    return kExitOk;
}

}  // namespace Tarnctl
