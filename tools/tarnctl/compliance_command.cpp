#include "compliance_command.h"

#include <memory>

#include "console.h"
#include "console_task.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "exit_codes.h"
#include "host_document.h"
#include "instance_labels.h"
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

// Where the values of a difference start: below the change, after "desired  " or "host     ".
constexpr size_t kValueIndent = 17;
// Narrower terminals get values on whole lines rather than slivers.
constexpr size_t kNarrowestWrap = 40;

// One side of a difference: "  desired  <value>", the value wrapped to the terminal.
void PrintValue(const Console& console, const char* side, const std::string& value) {
    if (value.empty()) {
        return;
    }
    size_t columns = console.Columns();
    size_t width = columns > kValueIndent + kNarrowestWrap ? columns - kValueIndent : 0;
    std::string label = std::string("        ") + side;
    label.resize(kValueIndent, ' ');
    for (const std::string& piece : Wrapped(value, width)) {
        console.Line(label + piece);
        label.assign(kValueIndent, ' ');
    }
}

// Each difference as its change and path, then the desired and the host's value below it:
// values are whole JSON texts, too long for the columns of a table.
void PrintReport(const Console& console, const std::string& path, const rapidjson::Value& desired,
                 const TarnConfigManager::ComplianceResult& result) {
    if (result.compliant) {
        console.Line(console.Paint("The host is compliant with " + path + ".", Colour::kGreen));
        return;
    }
    size_t count = 0;
    for (const DriftKind& kind : kDriftKinds) {
        count += result.document[kind.member].Size();
    }
    console.Line(console.Paint("The host is not compliant with " + path + ": " +
                                   std::to_string(count) +
                                   (count == 1 ? " difference." : " differences."),
                               Colour::kRed));
    for (const DriftKind& kind : kDriftKinds) {
        for (const auto& entry : result.document[kind.member].GetArray()) {
            std::string change = kind.change;
            change.resize(8, ' ');
            std::string place = MemberText(entry, "path");
            std::string labels = InstanceLabels(place, desired);
            console.Line(console.Paint(change, kind.colour) + place +
                         (labels.empty() ? "" : "  (" + labels + ")"));
            PrintValue(console, "desired", MemberText(entry, "desiredValue"));
            PrintValue(console, "host", MemberText(entry, "hostValue"));
        }
    }
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
        PrintReport(console, DocumentName(options.document), desired, result);
    }
    return result.compliant ? kExitOk : kExitFindings;
}

}  // namespace Tarnctl
