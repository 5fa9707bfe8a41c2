#include "change_list.h"

#include <memory>

#include "console_task.h"
#include "instance_labels.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

// The report's arrays, how the list names their entries and in which colour.
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
void AddValue(const Console& console, const char* side, const std::string& value,
              std::vector<std::string>& lines) {
    if (value.empty()) {
        return;
    }
    size_t columns = console.Columns();
    size_t width = columns > kValueIndent + kNarrowestWrap ? columns - kValueIndent : 0;
    std::string label = std::string("        ") + side;
    label.resize(kValueIndent, ' ');
    for (const std::string& piece : Wrapped(value, width)) {
        lines.push_back(label + piece);
        label.assign(kValueIndent, ' ');
    }
}

size_t Count(const rapidjson::Value& report, const char* member) {
    auto found = report.FindMember(member);
    return found != report.MemberEnd() && found->value.IsArray() ? found->value.Size() : 0;
}

}  // namespace

ChangeCounts CountChanges(const rapidjson::Value& report) {
    ChangeCounts counts;
    counts.added = Count(report, "ADDS");
    counts.deleted = Count(report, "DELETES");
    counts.changed = Count(report, "SETS");
    return counts;
}

std::string ChangeCountText(const ChangeCounts& counts) {
    return std::to_string(counts.added) + " added, " + std::to_string(counts.changed) +
           " changed, " + std::to_string(counts.deleted) + " deleted";
}

// Values are whole JSON texts, too long for the columns of a table, so each gets lines of
// its own below the change and path.
std::vector<std::string> ChangeLines(const Console& console, Stream stream,
                                     const rapidjson::Value& report,
                                     const rapidjson::Value& desired) {
    std::vector<std::string> lines;
    for (const DriftKind& kind : kDriftKinds) {
        if (Count(report, kind.member) == 0) {
            continue;
        }
        for (const auto& entry : report[kind.member].GetArray()) {
            std::string change = kind.change;
            change.resize(8, ' ');
            std::string place = MemberText(entry, "path");
            std::string labels = InstanceLabels(place, desired);
            lines.push_back(console.Paint(change, kind.colour, stream) + place +
                            (labels.empty() ? "" : "  (" + labels + ")"));
            AddValue(console, "desired", MemberText(entry, "desiredValue"), lines);
            AddValue(console, "host", MemberText(entry, "hostValue"), lines);
        }
    }
    return lines;
}

TarnConfigManager::ComplianceResult PlannedChanges(const Console& console, const char* title,
                                                   const rapidjson::Value& document) {
    rapidjson::Document copy;
    copy.CopyFrom(document, copy.GetAllocator());
    TarnConfigManager::ComplianceResult result;
    auto task = std::make_shared<ConsoleTask>(console, title);
    TarnConfigManager::CheckCompliance(copy, false, result, task);
    task->Finish();
    return result;
}

}  // namespace Tarnctl
