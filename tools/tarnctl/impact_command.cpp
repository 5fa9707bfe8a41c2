#include "impact_command.h"

#include <memory>
#include <vector>

#include "change_list.h"
#include "console.h"
#include "console_task.h"
#include "deradidezivizoda/apply/check_apply.h"
#include "deradidezivizoda/impact/impact.h"
#include "error_report.h"
#include "exit_codes.h"
#include "host_document.h"
#include "plan_file.h"
#include "state_names.h"
#include "text_table.h"
#include "validate_command.h"

namespace Tarnctl {

namespace {

using TarnConfigManager::CheckApplyResult;
using TarnConfigManager::ComplianceResult;
using TarnConfigManager::ImpactInfo;
using TarnConfigManager::ImpactResult;

const char* Verdict(TarnConfigManager::IMPACT_TYPE impact) {
    switch (impact) {
        case TarnConfigManager::MAINTENANCE_MODE_REQUIRED:
            return "needs maintenance mode";
        case TarnConfigManager::REBOOT_REQUIRED:
            return "needs a reboot";
        case TarnConfigManager::NO_IMPACT:
            break;
    }
    return "needs neither maintenance mode nor a reboot";
}

// The per-object messages name key, group and component; the table shows the key's path.
void AddMessageRow(TextTable& table, const ImpactInfo& info) {
    std::vector<std::string> args(info.args.begin(), info.args.end());
    std::string change = info.id.substr(info.id.rfind('.') + 1);
    if (args.size() == 3) {
        table.AddRow({change, args[2] + "/" + args[1] + "/" + args[0]});
    } else if (!args.empty()) {
        table.AddRow({change, Joined(args, " ")});
    }
}

void PrintImpact(const Console& console, const std::string& path, const ImpactResult& result) {
    if (result.compliant) {
        console.Line(
            console.Paint("The host is compliant with " + path + ": applying it changes nothing.",
                          Colour::kGreen));
        return;
    }
    Colour colour =
        result.impact == TarnConfigManager::NO_IMPACT ? Colour::kGreen : Colour::kYellow;
    console.Line(console.Paint("Applying " + path + " " + Verdict(result.impact) + ".", colour));
    console.Line(std::string("Quick boot: ") + QuickBootName(result.quickBootStatus) + ".");
    TextTable table({"CHANGE", "KEY"});
    for (const ImpactInfo& info : result.impactInfo) {
        AddMessageRow(table, info);
    }
    table.Print(console);
}

void PrintImpactJson(const Console& console, const ImpactResult& result) {
    rapidjson::Document out(rapidjson::kObjectType);
    auto& allocator = out.GetAllocator();
    rapidjson::Value messages(rapidjson::kArrayType);
    for (const ImpactInfo& info : result.impactInfo) {
        rapidjson::Value args(rapidjson::kArrayType);
        for (const std::string& arg : info.args) {
            args.PushBack(rapidjson::Value(arg, allocator), allocator);
        }
        rapidjson::Value message(rapidjson::kObjectType);
        message.AddMember("id", rapidjson::Value(info.id, allocator), allocator);
        message.AddMember("args", args, allocator);
        messages.PushBack(message, allocator);
    }
    out.AddMember("compliant", result.compliant, allocator);
    out.AddMember("impact", rapidjson::StringRef(ImpactName(result.impact)), allocator);
    out.AddMember("quickBoot", rapidjson::StringRef(QuickBootName(result.quickBootStatus)),
                  allocator);
    out.AddMember("quickBootStatus", static_cast<int>(result.quickBootStatus), allocator);
    out.AddMember("messages", messages, allocator);
    console.PrintJson(out);
}

void PrintResult(const Console& console, const std::string& path, const ImpactResult& result) {
    if (console.Json()) {
        PrintImpactJson(console, result);
    } else {
        PrintImpact(console, path, result);
    }
}

// The verdict and the changes of a plan just saved, and where it is.
void PrintPlan(const Console& console, const ImpactOptions& options, const CheckApplyResult& check,
               const ComplianceResult& changes) {
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        auto& allocator = out.GetAllocator();
        out.AddMember("compliant", false, allocator);
        out.AddMember("impact", rapidjson::StringRef(ImpactName(check.impact)), allocator);
        out.AddMember("quickBoot", rapidjson::StringRef(QuickBootName(check.quickBootStatus)),
                      allocator);
        out.AddMember("quickBootStatus", static_cast<int>(check.quickBootStatus), allocator);
        out.AddMember("plan", rapidjson::Value(options.out, allocator), allocator);
        out.AddMember("report", rapidjson::Value(changes.document, allocator), allocator);
        console.PrintJson(out);
        return;
    }
    Colour colour = check.impact == TarnConfigManager::NO_IMPACT ? Colour::kGreen : Colour::kYellow;
    console.Line(console.Paint(
        "Applying " + DocumentName(options.document) + " " + Verdict(check.impact) + ".", colour));
    console.Line(std::string("Quick boot: ") + QuickBootName(check.quickBootStatus) + ".");
    console.Line("Changes (" + ChangeCountText(CountChanges(changes.document)) + "):");
    for (const std::string& line :
         ChangeLines(console, Stream::kOut, changes.document, check.desiredDocument)) {
        console.Line(line);
    }
    console.Line("Saved the plan to " + options.out + "; tarnctl apply --plan " + options.out +
                 " applies it.");
}

// The library's first step of an apply, saved instead of followed by the second.
int SavePlan(const Console& console, const ImpactOptions& options, rapidjson::Document& desired) {
    auto task = std::make_shared<ConsoleTask>(console, "impact");
    SavedPlan plan;
    try {
        plan.check = TarnConfigManager::CheckApply(desired, options.clusterContext, task);
    } catch (const TarnConfigManager::ErrorInfo& error) {
        task->Finish();
        return ReportUnfinished(console, error, "impact");
    }
    task->Finish();
    if (!plan.check) {
        PrintResult(console, DocumentName(options.document), ImpactResult());
        console.Note("Nothing to plan: " + options.out + " was not written.");
        return kExitOk;
    }
    plan.created = plan.check->timestamp;
    plan.hostSha256 = HostConfigurationSha256();
    ComplianceResult changes = PlannedChanges(console, "impact", plan.check->desiredDocument);
    WritePlan(options.out, plan);
    PrintPlan(console, options, *plan.check, changes);
    return kExitFindings;
}

}  // namespace

void PrintImpactResult(const Console& console, const std::string& what,
                       const ImpactResult& result) {
    PrintResult(console, what, result);
}

int RunImpact(const Console& console, const ImpactOptions& options) {
    rapidjson::Document desired = ReadDocument(options.document);
    ChangeCheck check{DocumentName(options.document), options.clusterContext, options.validate,
                      "No impact was computed"};
    if (auto refused = PrepareToChange(console, check, desired)) {
        return *refused;
    }
    if (!options.out.empty()) {
        return SavePlan(console, options, desired);
    }
    auto task = std::make_shared<ConsoleTask>(console, "impact");
    ImpactResult result = TarnConfigManager::Impact(desired, options.clusterContext, task);
    task->Finish();
    if (!result.error.id.empty()) {
        return ReportUnfinished(console, result.error, "impact");
    }
    PrintResult(console, DocumentName(options.document), result);
    return result.compliant ? kExitOk : kExitFindings;
}

}  // namespace Tarnctl
