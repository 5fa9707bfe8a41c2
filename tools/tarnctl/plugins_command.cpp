#include "plugins_command.h"

#include <memory>
#include <vector>

#include "console.h"
#include "deradidezivizoda/plugins/manifest_files.h"
#include "deradidezivizoda/plugins/plugin.h"
#include "deradidezivizoda/plugins/plugin_schema_check.h"
#include "error_report.h"
#include "exit_codes.h"
#include "plugin_checks.h"
#include "tarn/paths.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

using TarnConfigManager::Plugin;
using Allocator = rapidjson::MemoryPoolAllocator<>;

// The work a plugin does, by the names the list shows.
std::vector<std::string> WorkOf(const Plugin& plugin) {
    std::vector<std::string> work;
    if (plugin.CheckType(TarnConfigManager::APPLY)) {
        work.push_back("apply");
        // Only a plugin that applies has the boot flag.
        if (plugin.CheckType(TarnConfigManager::APPLY_BOOT)) {
            work.push_back("boot");
        }
    }
    const std::pair<TarnConfigManager::PluginType, const char*> others[] = {
        {TarnConfigManager::EXTRACT, "extract"},
        {TarnConfigManager::IMPACT, "impact"},
        {TarnConfigManager::VALIDATE, "validate"}};
    for (const auto& other : others) {
        if (plugin.CheckType(other.first)) {
            work.push_back(other.second);
        }
    }
    return work;
}

std::vector<std::string> KeysOf(const Plugin& plugin) {
    std::vector<std::string> keys;
    for (const auto& id : plugin.GetCSOIdList()) {
        keys.push_back(id.GetComponent() + "/" + id.GetGroup() + "/" + id.GetKey());
    }
    return keys;
}

rapidjson::Value TextArray(const std::vector<std::string>& texts, Allocator& allocator) {
    rapidjson::Value array(rapidjson::kArrayType);
    for (const std::string& text : texts) {
        array.PushBack(rapidjson::Value(text, allocator), allocator);
    }
    return array;
}

// The manifests below the plugin directory, in path order.
std::vector<std::string> ManifestPaths() {
    std::string error;
    std::vector<std::string> paths =
        TarnConfigManager::FindManifestFiles(TarnPaths::kPluginDir, error);
    if (!error.empty()) {
        throw CommandError(std::string("cannot read the plugin directory ") +
                           TarnPaths::kPluginDir + ": " + error);
    }
    return paths;
}

struct PluginListing {
    rapidjson::Document json{rapidjson::kObjectType};
    TextTable table{{"ID", "LANGUAGE", "VERSION", "WORK", "KEYS"}};
    std::vector<std::pair<std::string, ErrorReport>> failures;

    void Add(const std::string& path, const Plugin& plugin) {
        auto work = WorkOf(plugin);
        auto keys = KeysOf(plugin);
        Allocator& allocator = json.GetAllocator();
        rapidjson::Value entry(rapidjson::kObjectType);
        entry.AddMember("id", rapidjson::Value(plugin.GetId(), allocator), allocator);
        entry.AddMember("manifest", rapidjson::Value(path, allocator), allocator);
        entry.AddMember("language", rapidjson::Value(plugin.GetType(), allocator), allocator);
        entry.AddMember("version", static_cast<int64_t>(plugin.GetVersion()), allocator);
        entry.AddMember("work", TextArray(work, allocator), allocator);
        entry.AddMember("keys", TextArray(keys, allocator), allocator);
        json["plugins"].PushBack(entry, allocator);
        table.AddRow({plugin.GetId(), plugin.GetType(), std::to_string(plugin.GetVersion()),
                      Joined(work, ","), Joined(keys, " ")});
    }

    void Fail(const std::string& path, const std::exception& error) {
        ErrorReport report = DescribeError(error);
        Allocator& allocator = json.GetAllocator();
        rapidjson::Value entry(rapidjson::kObjectType);
        entry.AddMember("manifest", rapidjson::Value(path, allocator), allocator);
        entry.AddMember("error", ErrorJson(report, allocator), allocator);
        json["errors"].PushBack(entry, allocator);
        failures.emplace_back(path, report);
    }
};

// "Required property %s is missing" with ["accepts"]: each %s takes the next argument.
std::string Substituted(std::string text, const rapidjson::Value& args) {
    for (const auto& arg : args.GetArray()) {
        size_t at = text.find("%s");
        if (at == std::string::npos) {
            break;
        }
        text.replace(at, 2, arg.GetString());
    }
    return text;
}

void PrintFindings(const Console& console, const std::string& directory,
                   const rapidjson::Value& findings) {
    if (findings.Empty()) {
        console.Line(
            console.Paint("Every manifest below " + directory + " conforms.", Colour::kGreen));
        return;
    }
    TextTable table({"FILE", "FIELD", "PROBLEM"});
    for (const auto& finding : findings.GetArray()) {
        std::string file = finding["file"].GetString();
        const rapidjson::Value& errors = finding["validation_errors"];
        if (errors.IsString()) {
            table.AddRow({file, "", Cell(errors.GetString(), Colour::kRed)});
            continue;
        }
        for (const auto& error : errors.GetArray()) {
            // Fields start with the file's path; the rest is the place in the manifest.
            std::string field = error["field"].GetString();
            if (field.rfind(file, 0) == 0) {
                field = field.substr(file.size());
            }
            table.AddRow(
                {file, field,
                 Cell(Substituted(error["error"].GetString(), error["errArgs"]), Colour::kRed)});
        }
    }
    table.Print(console);
}

}  // namespace

int RunPluginsList(const Console& console) {
    PluginListing listing;
    listing.json.AddMember("plugins", rapidjson::Value(rapidjson::kArrayType),
                           listing.json.GetAllocator());
    listing.json.AddMember("errors", rapidjson::Value(rapidjson::kArrayType),
                           listing.json.GetAllocator());
    for (const std::string& path : ManifestPaths()) {
        try {
            Plugin plugin(path.c_str());
            listing.Add(path, plugin);
        } catch (const std::exception& error) {
            listing.Fail(path, error);
        }
    }
    if (console.Json()) {
        console.PrintJson(listing.json);
    } else {
        listing.table.Print(console);
        for (const auto& failure : listing.failures) {
            ErrorReport report = failure.second;
            // A manifest that does not parse is already named with the place it fails at.
            if (report.file.empty()) {
                report.message = failure.first + ": " + report.message;
            }
            ReportFailure(console, report);
        }
    }
    return listing.failures.empty() ? kExitOk : kExitError;
}

int RunPluginsValidate(const Console& console, const std::string& directory) {
    rapidjson::Document findings;
    ValidateAllPlugins(directory, TarnPaths::kPluginSchemaDir, findings);
    AddPluginFindings(directory, findings);
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        out.AddMember("findings", rapidjson::Value(findings, out.GetAllocator()),
                      out.GetAllocator());
        console.PrintJson(out);
    } else {
        PrintFindings(console, directory, findings);
    }
    return findings.Empty() ? kExitOk : kExitFindings;
}

}  // namespace Tarnctl
