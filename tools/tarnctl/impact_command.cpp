#include "impact_command.h"

#include <memory>
#include <vector>

#include "console.h"
#include "console_task.h"
#include "deradidezivizoda/impact/impact.h"
#include "error_report.h"
#include "exit_codes.h"
#include "host_document.h"
#include "state_names.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

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

}  // namespace

int RunImpact(const Console& console, const ImpactOptions& options) {
    rapidjson::Document desired = ReadDocument(options.document);
    ReduceToThisHost(desired);
    auto task = std::make_shared<ConsoleTask>(console, "impact");
    ImpactResult result = TarnConfigManager::Impact(desired, options.clusterContext, task);
    task->Finish();
    if (!result.error.id.empty()) {
        return ReportUnfinished(console, result.error, "impact");
    }
    if (console.Json()) {
        PrintImpactJson(console, result);
    } else {
        PrintImpact(console, DocumentName(options.document), result);
    }
    return result.compliant ? kExitOk : kExitFindings;
}

}  // namespace Tarnctl
