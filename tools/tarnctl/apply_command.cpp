#include "apply_command.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "change_list.h"
#include "confirm_prompt.h"
#include "console.h"
#include "console_task.h"
#include "deradidezivizoda/apply/apply.h"
#include "deradidezivizoda/apply/check_apply.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "error_report.h"
#include "exit_codes.h"
#include "host_document.h"
#include "interrupt_guard.h"
#include "plan_file.h"
#include "state_names.h"
#include "validate_command.h"

namespace Tarnctl {

namespace {

using TarnConfigManager::CheckApplyResult;
using TarnConfigManager::ComplianceResult;

// What the command ended with: the JSON "result" and the sentence for people.
struct Outcome {
    const char* name;
    const char* sentence;
};

const Outcome kCompliant{"compliant", "The host already matches %s: nothing to apply."};
const Outcome kUnapplied{"not-applied",
                         "Did not apply all of %s: no plugin applied the objects below."};

bool IsUnapplied(const Outcome& outcome) {
    return std::string(outcome.name) == kUnapplied.name;
}

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

// What the first step gave: the check result (empty when the host matches) and what the user
// named, the document or the plan.
struct FirstStep {
    std::shared_ptr<CheckApplyResult> check;
    std::string source;
    bool fromPlan = false;
};

// What an apply did, for the line after it.
struct Summary {
    ChangeCounts changes;
    std::vector<std::string> unapplied;  // objects no apply plugin applied
    int pluginRuns = 0;
    double seconds = 0.0;
};

std::string SummaryText(const Summary& summary) {
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.1f s", summary.seconds);
    return ChangeCountText(summary.changes) + "; " + std::to_string(summary.pluginRuns) +
           (summary.pluginRuns == 1 ? " plugin run; " : " plugin runs; ") + seconds + ".";
}

int Print(const Console& console, const std::string& source, const Outcome& outcome,
          TarnConfigManager::IMPACT_TYPE impact, int status, const Summary& summary) {
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        auto& allocator = out.GetAllocator();
        out.AddMember("result", rapidjson::StringRef(outcome.name), allocator);
        out.AddMember("impact", rapidjson::StringRef(ImpactName(impact)), allocator);
        out.AddMember("status", status, allocator);
        out.AddMember("added", static_cast<uint64_t>(summary.changes.added), allocator);
        out.AddMember("changed", static_cast<uint64_t>(summary.changes.changed), allocator);
        out.AddMember("deleted", static_cast<uint64_t>(summary.changes.deleted), allocator);
        out.AddMember("pluginRuns", summary.pluginRuns, allocator);
        out.AddMember("seconds", summary.seconds, allocator);
        rapidjson::Value unapplied(rapidjson::kArrayType);
        for (const std::string& id : summary.unapplied) {
            unapplied.PushBack(rapidjson::Value(id, allocator), allocator);
        }
        out.AddMember("unapplied", unapplied, allocator);
        console.PrintJson(out);
        return IsUnapplied(outcome) ? kExitError : kExitOk;
    }
    std::string sentence = outcome.sentence;
    sentence.replace(sentence.find("%s"), 2, source);
    bool failed = IsUnapplied(outcome);
    console.Line(console.Paint(sentence, failed ? Colour::kRed : Colour::kGreen));
    for (const std::string& id : summary.unapplied) {
        console.Line("  " + id);
    }
    if (&outcome != &kCompliant) {
        console.Line(SummaryText(summary));
    }
    if (failed) {
        // Said on standard error too, so that --quiet does not hide why the exit status is 1.
        ReportFailure(console, {0,
                                "",
                                "no plugin applied " + std::to_string(summary.unapplied.size()) +
                                    " changed object(s) of " + source,
                                {}});
    }
    return failed ? kExitError : kExitOk;
}

int PrintCompliant(const Console& console, const std::string& source) {
    return Print(console, source, kCompliant, TarnConfigManager::NO_IMPACT, 0, Summary());
}

// What the second step will do, said before the user is asked to go on. Maintenance mode
// the host is not in was refused before.
std::string Consequence(const std::string& source, TarnConfigManager::IMPACT_TYPE impact) {
    switch (impact) {
        case TarnConfigManager::REBOOT_REQUIRED:
            return "Applying " + source +
                   " needs a reboot: it is stored as the desired configuration and applied when "
                   "the host boots.";
        case TarnConfigManager::MAINTENANCE_MODE_REQUIRED:
            return "Applying " + source +
                   " needs maintenance mode, which the host is in: it changes the host now.";
        case TarnConfigManager::NO_IMPACT:
            break;
    }
    return "Applying " + source + " changes the host now, without maintenance mode or reboot.";
}

// Shows the changes and the impact on standard error, then asks.
bool Confirmed(const Console& console, const ApplyOptions& options, const FirstStep& first,
               const ComplianceResult& changes) {
    if (options.yes) {
        return true;
    }
    ChangeCounts counts = CountChanges(changes.document);
    console.Ask("Changes (" + ChangeCountText(counts) + "):\n");
    for (const std::string& line :
         ChangeLines(console, Stream::kErr, changes.document, first.check->desiredDocument)) {
        console.Ask(line + "\n");
    }
    console.Ask(Consequence(first.source, first.check->impact) + "\n");
    return Confirm(console, "Apply " + first.source + "?");
}

// Apply would refuse: said before the user is asked, not after.
void RequireMaintenanceMode(TarnConfigManager::IMPACT_TYPE impact) {
    if (impact == TarnConfigManager::MAINTENANCE_MODE_REQUIRED &&
        !TarnConfigManager::IsMaintenanceModeEnabled()) {
        TarnConfigManager::ThrowException<TarnConfigManager::HostNotInMM>(
            TarnConfigManager::NOT_IN_MAINT_MODE);
    }
}

// The plan's check result, once the plan is known unaltered and its document valid.
std::optional<int> FromPlan(const Console& console, const ApplyOptions& options, FirstStep& first) {
    SavedPlan plan = ReadPlan(options.plan);
    rapidjson::Document document;
    document.CopyFrom(plan.check->desiredDocument, document.GetAllocator());
    ChangeCheck check{options.plan, plan.check->clusterContext, options.validate,
                      "Nothing was applied"};
    if (auto refused = PrepareToChange(console, check, document)) {
        return refused;
    }
    if (HostConfigurationSha256() != plan.hostSha256) {
        console.Note("The host changed since " + options.plan +
                     " was made; the apply goes on only if its impact did not grow.");
    }
    first.check = plan.check;
    first.source = options.plan;
    first.fromPlan = true;
    return std::nullopt;
}

// Validation, then the library's first step.
std::optional<int> FromDocument(const Console& console, const ApplyOptions& options,
                                FirstStep& first) {
    rapidjson::Document desired = ReadDocument(options.document);
    ChangeCheck check{DocumentName(options.document), options.clusterContext, options.validate,
                      "Nothing was applied"};
    if (auto refused = PrepareToChange(console, check, desired)) {
        return refused;
    }
    auto task = std::make_shared<ConsoleTask>(console, "apply");
    try {
        first.check = TarnConfigManager::CheckApply(desired, options.clusterContext, task);
    } catch (const TarnConfigManager::ErrorInfo& error) {
        task->Finish();
        return ReportUnfinished(console, error, "impact check");
    }
    task->Finish();
    first.source = DocumentName(options.document);
    return std::nullopt;
}

int ApplyNow(const Console& console, const FirstStep& first, const ComplianceResult& changes) {
    auto task = std::make_shared<ConsoleTask>(console, "apply");
    auto start = std::chrono::steady_clock::now();
    TarnConfigManager::ApplyResult result = TarnConfigManager::Apply(first.check, task);
    task->Finish();
    if (!result.error.id.empty()) {
        return ReportUnfinished(console, result.error, "apply");
    }
    Summary summary;
    summary.changes = CountChanges(changes.document);
    summary.pluginRuns = task->PluginRuns();
    summary.unapplied = task->Unapplied();
    auto elapsed = std::chrono::steady_clock::now() - start;
    summary.seconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 1000.0;
    // A reboot-pending apply ran no plugin on purpose.
    bool unapplied =
        !summary.unapplied.empty() && result.status != TarnConfigManager::APPLY_REBOOT_PENDING;
    return Print(console, first.source, unapplied ? kUnapplied : OutcomeOf(result.status),
                 first.check->impact, result.status, summary);
}

int ImpactGrew(const Console& console, const FirstStep& first,
               const TarnConfigManager::InvalidImpact& error) {
    ErrorReport report = DescribeError(error);
    report.message = std::string("the host changed since ") +
                     (first.fromPlan ? "the plan " + first.source + " was made"
                                     : "the impact of " + first.source + " was checked") +
                     " and applying it now needs more than " + ImpactName(first.check->impact) +
                     "; nothing was applied" +
                     (first.fromPlan ? ", make a new plan with tarnctl impact --out" : "");
    return ReportFailure(console, report);
}

}  // namespace

int RunApply(const Console& console, const ApplyOptions& options) {
    if (options.document == kStandardInput && !options.yes) {
        throw CommandError(
            "apply - reads the document from standard input, where the answer "
            "to its question would come from: add --yes");
    }
    if (options.document.empty() == options.plan.empty()) {
        throw CommandError("apply needs a document (DOC) or a saved plan (--plan PLAN)");
    }
    FirstStep first;
    std::optional<int> refused = options.plan.empty() ? FromDocument(console, options, first)
                                                      : FromPlan(console, options, first);
    if (refused) {
        return *refused;
    }
    if (!first.check) {
        return PrintCompliant(console, first.source);
    }
    ComplianceResult changes = PlannedChanges(console, "apply", first.check->desiredDocument);
    if (changes.compliant) {
        return PrintCompliant(console, first.source);
    }
    console.Note(std::string("impact: ") + ImpactName(first.check->impact));
    try {
        RequireMaintenanceMode(first.check->impact);
        if (!Confirmed(console, options, first, changes)) {
            ReportFailure(console, {0, "", "apply cancelled: nothing was changed", {}});
            return FailureExitCode();
        }
        return ApplyNow(console, first, changes);
    } catch (const TarnConfigManager::HostNotInMM& error) {
        ReportFailure(console, DescribeError(error));
        console.Note(
            "Nothing was applied. Enter maintenance mode (tarnctl host maintenance enter), then "
            "apply again.");
        return kExitError;
    } catch (const TarnConfigManager::InvalidImpact& error) {
        return ImpactGrew(console, first, error);
    }
}

}  // namespace Tarnctl
