#include "apply_command.h"

#include <memory>

#include "confirm_prompt.h"
#include "console.h"
#include "console_task.h"
#include "deradidezivizoda/apply/apply.h"
#include "deradidezivizoda/apply/check_apply.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/core/host_state.h"
#include "error_report.h"
#include "exit_codes.h"
#include "host_document.h"
#include "interrupt_guard.h"
#include "state_names.h"

namespace Tarnctl {

namespace {

// What the command ended with: the JSON "result" and the sentence for people.
struct Outcome {
    const char* name;
    const char* sentence;
};

const Outcome kCompliant{"compliant", "The host already matches %s: nothing to apply."};

Outcome OutcomeOf(int status) {
    switch (status) {
        case TarnConfigManager::APPLY_REBOOT_PENDING:
            return {"reboot-pending",
                    "Stored %s as the desired configuration: it is applied when the host "
                    "reboots."};
        case TarnConfigManager::APPLY_SUCCESS_IN_MAINTENANCE_MODE:
            return {"applied-in-maintenance-mode", "Applied %s in maintenance mode."};
        default:
            return {"applied", "Applied %s."};
    }
}

int Print(const Console& console, const std::string& path, const Outcome& outcome,
          TarnConfigManager::IMPACT_TYPE impact, int status) {
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        auto& allocator = out.GetAllocator();
        out.AddMember("result", rapidjson::StringRef(outcome.name), allocator);
        out.AddMember("impact", rapidjson::StringRef(ImpactName(impact)), allocator);
        out.AddMember("status", status, allocator);
        console.PrintJson(out);
    } else {
        std::string sentence = outcome.sentence;
        sentence.replace(sentence.find("%s"), 2, path);
        console.Line(console.Paint(sentence, Colour::kGreen));
    }
    return kExitOk;
}

// What the second step will do, said before the user is asked to go on.
std::string Consequence(const std::string& path, TarnConfigManager::IMPACT_TYPE impact) {
    switch (impact) {
        case TarnConfigManager::REBOOT_REQUIRED:
            return "Applying " + path +
                   " needs a reboot: it is stored as the desired configuration and applied when "
                   "the host boots.";
        case TarnConfigManager::MAINTENANCE_MODE_REQUIRED:
            return "Applying " + path + " needs maintenance mode" +
                   (TarnConfigManager::IsMaintenanceModeEnabled()
                        ? ", which the host is in: it changes the host now."
                        : ", which the host is not in: the apply will be refused.");
        case TarnConfigManager::NO_IMPACT:
            break;
    }
    return "Applying " + path + " changes the host now, without maintenance mode or reboot.";
}

bool Confirmed(const Console& console, const ApplyOptions& options,
               TarnConfigManager::IMPACT_TYPE impact) {
    if (options.yes) {
        return true;
    }
    console.Ask(Consequence(options.document, impact) + "\n");
    return Confirm(console, "Apply " + options.document + "?");
}

}  // namespace

int RunApply(const Console& console, const ApplyOptions& options) {
    if (options.document == kStandardInput && !options.yes) {
        throw CommandError(
            "apply - reads the document from standard input, where the answer "
            "to its question would come from: add --yes");
    }
    rapidjson::Document desired = ReadDocument(options.document);
    ReduceToThisHost(desired);
    auto task = std::make_shared<ConsoleTask>(console, "apply");
    std::shared_ptr<TarnConfigManager::CheckApplyResult> check;
    try {
        check = TarnConfigManager::CheckApply(desired, options.clusterContext, task);
    } catch (const TarnConfigManager::ErrorInfo& error) {
        task->Finish();
        return ReportUnfinished(console, error, "impact check");
    }
    task->Finish();
    if (!check) {
        return Print(console, DocumentName(options.document), kCompliant,
                     TarnConfigManager::NO_IMPACT, 0);
    }
    console.Note(std::string("impact: ") + ImpactName(check->impact));
    if (!Confirmed(console, options, check->impact)) {
        ReportFailure(console, {0, "", "apply cancelled: nothing was changed", {}});
        return FailureExitCode();
    }
    TarnConfigManager::ApplyResult result;
    try {
        result = TarnConfigManager::Apply(check, task);
    } catch (const TarnConfigManager::HostNotInMM& error) {
        task->Finish();
        ReportFailure(console, DescribeError(error));
        console.Note("Enter maintenance mode (tarnctl host maintenance enter), then apply again.");
        return kExitError;
    }
    task->Finish();
    if (!result.error.id.empty()) {
        return ReportUnfinished(console, result.error, "apply");
    }
    return Print(console, DocumentName(options.document), OutcomeOf(result.status), check->impact,
                 result.status);
}

}  // namespace Tarnctl
