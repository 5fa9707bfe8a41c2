#include "compliance_command.h"

#include <memory>

#include "console.h"
#include "console_task.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "exit_codes.h"
#include "host_document.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

// The report's arrays, how the table names their entries and in which colour.
struct DriftKind {
    const char* member;
    const char* change;
    Colour colour;
};
constexpr DriftKind kDriftKinds[] = {{"ADDS", "add", Colour::kGreen},
                                     {"DELETES", "delete", Colour::kRed},
                                     {"SETS", "set", Colour::kYellow}};

std::string MemberText(const rapidjson::Value& entry, const char* name) {
    auto found = entry.FindMember(name);
    return found == entry.MemberEnd() ? std::string() : std::string(found->value.GetString());
}

void PrintReport(const Console& console, const std::string& path,
                 const TarnConfigManager::ComplianceResult& result) {
    if (result.compliant) {
        console.Line(console.Paint("The host is compliant with " + path + ".", Colour::kGreen));
        return;
    }
    TextTable table({"CHANGE", "PATH", "DESIRED", "HOST"});
    for (const DriftKind& kind : kDriftKinds) {
        for (const auto& entry : result.document[kind.member].GetArray()) {
            table.AddRow({Cell(kind.change, kind.colour), MemberText(entry, "path"),
                          MemberText(entry, "desiredValue"), MemberText(entry, "hostValue")});
        }
    }
    console.Line(console.Paint("The host is not compliant with " + path + ".", Colour::kRed));
    table.Print(console);
}

}  // namespace

int RunCompliance(const Console& console, const ComplianceOptions& options) {
    rapidjson::Document desired = ReadDocument(options.document);
    ReduceToThisHost(desired);
    TarnConfigManager::ComplianceResult result;
    auto task = std::make_shared<ConsoleTask>(console, "compliance");
    TarnConfigManager::CheckCompliance(desired, options.compareEmptyByProperty, result, task);
    task->Finish();
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        out.AddMember("compliant", result.compliant, out.GetAllocator());
        out.AddMember("report", rapidjson::Value(result.document, out.GetAllocator()),
                      out.GetAllocator());
        console.PrintJson(out);
    } else {
        PrintReport(console, options.document, result);
    }
    return result.compliant ? kExitOk : kExitFindings;
}

}  // namespace Tarnctl
