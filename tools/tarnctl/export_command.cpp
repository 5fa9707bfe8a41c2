#include "export_command.h"

#include <map>

#include "console.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/extract/export_document.h"
#include "deradidezivizoda/telemetry/config_manager_telemetry_info.h"
#include "error_report.h"
#include "exit_codes.h"
#include "tarn/json/json_text.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

using HostCtl::System::TelemetryValue;

const char* const kKindNames[] = {"bool",     "long",   "string", "long[]",
                                  "string[]", "double", "ulong",  "ulong[]"};

// The value as JSON, built in allocator.
struct ToJson {
    rapidjson::MemoryPoolAllocator<>& allocator;

    rapidjson::Value operator()(bool value) const { return rapidjson::Value(value); }
    rapidjson::Value operator()(long value) const { return rapidjson::Value(int64_t{value}); }
    rapidjson::Value operator()(unsigned long value) const {
        return rapidjson::Value(uint64_t{value});
    }
    rapidjson::Value operator()(double value) const { return rapidjson::Value(value); }
    rapidjson::Value operator()(const std::string& value) const {
        return rapidjson::Value(value, allocator);
    }
    template <typename T>
    rapidjson::Value operator()(const std::vector<T>& values) const {
        rapidjson::Value array(rapidjson::kArrayType);
        for (const T& value : values) {
            array.PushBack((*this)(value), allocator);
        }
        return array;
    }
};

// The value's text for the table: a string as it is, anything else as compact JSON.
std::string CellText(const TelemetryValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    rapidjson::Document scratch;
    return TarnConfigStore::WriteJsonText(std::visit(ToJson{scratch.GetAllocator()}, value));
}

}  // namespace

int RunExport(const Console& console, const ExportOptions& options) {
    std::string text = options.telemetry ? TarnConfigManager::ExportDocumentTelemetry()
                                         : TarnConfigManager::ExportDocument();
    // The export is compact text already; the indented form is written from it as it is
    // read, with no document built.
    if (!options.compact) {
        text = TarnConfigStore::IndentJsonText(text);
    } else {
        text += "\n";
    }
    if (options.output.empty()) {
        console.Print(text);
        return kExitOk;
    }
    if (!TarnConfigStore::WriteFileAtomically(options.output, text)) {
        throw CommandError("cannot write " + options.output);
    }
    console.Note("exported to " + options.output);
    return kExitOk;
}

int RunTelemetry(const Console& console, const TelemetryOptions& options) {
    HostCtl::System::TelemetryFilter filter{options.start, options.limit, options.names,
                                            options.excluded};
    std::unordered_map<std::string, TelemetryValue> data;
    unsigned next =
        TarnConfigManager::ConfigManagerTelemetryInfo::GetTelemetryData(filter, data, 0);
    // Sorted by name, so the output does not depend on hashing.
    std::map<std::string, const TelemetryValue*> sorted;
    for (const auto& [name, value] : data) {
        sorted.emplace(name, &value);
    }
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        auto& allocator = out.GetAllocator();
        rapidjson::Value values(rapidjson::kObjectType);
        for (const auto& [name, value] : sorted) {
            values.AddMember(rapidjson::Value(name, allocator),
                             std::visit(ToJson{allocator}, *value), allocator);
        }
        out.AddMember("values", values, allocator);
        out.AddMember("next", next, allocator);
        console.PrintJson(out);
        return kExitOk;
    }
    TextTable table({"NAME", "KIND", "VALUE"});
    for (const auto& [name, value] : sorted) {
        table.AddRow({name, kKindNames[value->index()], CellText(*value)});
    }
    table.Print(console);
    return kExitOk;
}

}  // namespace Tarnctl
