#include "config_command.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "confirm_prompt.h"
#include "console.h"
#include "console_task.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/hostapi/host_api.h"
#include "error_report.h"
#include "exit_codes.h"
#include "impact_command.h"
#include "interrupt_guard.h"
#include "state_names.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/json/json_text.h"
#include "tarn/schemastore/schema_store.h"
#include "validate_command.h"

namespace Tarnctl {

namespace {

using TarnConfigManager::ErrorInfo;
using TarnConfigManager::ImpactResult;

struct KeyName {
    std::string component, group, key;
    std::string text;  // as the user wrote it
};

KeyName ParseKey(const std::string& text) {
    size_t first = text.find('/');
    size_t second = first == std::string::npos ? first : text.find('/', first + 1);
    if (second == std::string::npos || text.find('/', second + 1) != std::string::npos ||
        first == 0 || second == first + 1 || second + 1 == text.size()) {
        throw CommandError("\"" + text + "\" is not COMPONENT/GROUP/KEY");
    }
    return {text.substr(0, first), text.substr(first + 1, second - first - 1),
            text.substr(second + 1), text};
}

std::string ValueText(const std::string& value) {
    if (value.empty() || value[0] != '@') {
        return value;
    }
    std::ifstream file(value.substr(1));
    if (!file) {
        throw CommandError("cannot read " + value.substr(1));
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A configuration text as JSON (null when empty).
rapidjson::Value JsonOf(const std::string& text, rapidjson::MemoryPoolAllocator<>& allocator) {
    rapidjson::Document parsed;
    if (text.empty() || !TarnConfigStore::ParseJsonText(text, parsed)) {
        return rapidjson::Value();
    }
    return rapidjson::Value(parsed, allocator);
}

void PrintSection(const Console& console, const char* title, const std::string& text) {
    if (console.Quiet()) {
        return;  // errors only
    }
    console.Line(console.Paint(title, Colour::kBold));
    if (text.empty()) {
        console.Line("  (none)");
        return;
    }
    rapidjson::Document parsed;
    parsed.Parse(text.c_str());
    console.PrintPrettyJson(parsed);
}

// The JSON of a change's outcome: {"result", "impact"}.
int PrintOutcome(const Console& console, const char* result, const std::string& sentence,
                 const ImpactResult& impact) {
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        out.AddMember("result", rapidjson::StringRef(result), out.GetAllocator());
        out.AddMember("impact", rapidjson::StringRef(ImpactName(impact.impact)),
                      out.GetAllocator());
        console.PrintJson(out);
    } else {
        console.Line(console.Paint(sentence, Colour::kGreen));
    }
    return kExitOk;
}

// Shows the impact (not with --json), refuses a maintenance mode the host is not in, asks.
// An exit status when the change must not go on.
std::optional<int> Agreed(const Console& console, const ConfigOptions& options,
                          const std::string& what, const std::string& question,
                          const ImpactResult& impact) {
    if (!console.Json()) {
        PrintImpactResult(console, what, impact);
    }
    if (impact.impact == TarnConfigManager::MAINTENANCE_MODE_REQUIRED &&
        !TarnConfigManager::IsMaintenanceModeEnabled()) {
        ReportFailure(
            console, DescribeError(TarnConfigManager::MakeException<TarnConfigManager::HostNotInMM>(
                         TarnConfigManager::NOT_IN_MAINT_MODE)));
        console.Note(
            "Nothing was changed. Enter maintenance mode (tarnctl host maintenance enter), then "
            "try again.");
        return kExitError;
    }
    if (options.yes || Confirm(console, question)) {
        return std::nullopt;
    }
    ReportFailure(console, {0, "", "cancelled: nothing was changed", {}});
    return FailureExitCode();
}

// SetConfig and DeleteConfig refuse while a desired document waits for a reboot; said before
// the value is validated or an impact plugin runs.
void RefuseWhileRebootPending() {
    if (TarnConfigStore::GetBootMode() == TarnConfigStore::DESIRED_PENDING) {
        TarnConfigManager::ThrowException<TarnConfigManager::HostInDBM>(
            TarnConfigManager::HOST_IN_DBM);
    }
}

ImpactResult Impact(const Console& console, rapidjson::Document& desired,
                    const rapidjson::Document& current) {
    auto task = std::make_shared<ConsoleTask>(console, "impact");
    ImpactResult impact = TarnConfigManager::CheckImpact(desired, current, task);
    task->Finish();
    return impact;
}

const char* DoneSentence(TarnConfigManager::IMPACT_TYPE impact, bool set) {
    if (impact == TarnConfigManager::REBOOT_REQUIRED) {
        return set ? "Stored %s: it is applied when the host reboots."
                   : "Removed the stored configuration of %s; the host keeps its current one "
                     "until it reboots.";
    }
    return set ? "Set %s." : "Deleted %s.";
}

int Done(const Console& console, const ErrorInfo& error, const ImpactResult& impact,
         const std::string& key, bool set, const char* operation) {
    if (!error.id.empty()) {
        return ReportUnfinished(console, error, operation);
    }
    std::string sentence = DoneSentence(impact.impact, set);
    sentence.replace(sentence.find("%s"), 2, key);
    const char* result = impact.impact == TarnConfigManager::REBOOT_REQUIRED ? "reboot-pending"
                         : set                                               ? "set"
                                                                             : "deleted";
    return PrintOutcome(console, result, sentence, impact);
}

}  // namespace

int RunConfigGet(const Console& console, const ConfigOptions& options) {
    KeyName name = ParseKey(options.key);
    std::string defaults, current, schema;
    TarnConfigManager::GetConfig(name.component, name.group, name.key, defaults, current, schema);
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        auto& allocator = out.GetAllocator();
        out.AddMember("default", JsonOf(defaults, allocator), allocator);
        out.AddMember("current", JsonOf(current, allocator), allocator);
        out.AddMember("schema", JsonOf(schema, allocator), allocator);
        console.PrintJson(out);
        return kExitOk;
    }
    PrintSection(console, "Default configuration:", defaults);
    PrintSection(console, "Current configuration:", current);
    PrintSection(console, "Schema:", schema);
    return kExitOk;
}

int RunConfigSet(const Console& console, const ConfigOptions& options) {
    KeyName name = ParseKey(options.key);
    RefuseWhileRebootPending();
    rapidjson::Document value;
    std::vector<TarnConfigManager::ValidationErrorInfo> errors;
    if (!TarnConfigManager::ValidateInputSet(name.component, name.group, name.key,
                                             ValueText(options.value), value, errors)) {
        TarnConfigManager::ValidationResult result;
        result.errors = errors;
        return ReportValidation(console, "the value of " + name.text, result, "invalid");
    }
    rapidjson::Document desired, current, relevant;
    TarnConfigManager::GenerateSetDocuments(name.component, name.group, name.key, value, desired,
                                            current, relevant);
    ChangeCheck check{"the value of " + name.text, "", true, "Nothing was set"};
    if (auto refused = PrepareToChange(console, check, relevant)) {
        return refused.value();
    }
    ImpactResult impact = Impact(console, desired, current);
    if (!impact.error.id.empty()) {
        return ReportUnfinished(console, impact.error, "impact check");
    }
    if (impact.compliant) {
        return PrintOutcome(console, "compliant",
                            name.text + " already has this value: nothing to set.", impact);
    }
    if (auto refused =
            Agreed(console, options, "setting " + name.text, "Set " + name.text + "?", impact)) {
        return refused.value();
    }
    auto task = std::make_shared<ConsoleTask>(console, "set");
    ErrorInfo error = TarnConfigManager::SetConfig(desired, current, value, impact, name.component,
                                                   name.group, name.key, task);
    task->Finish();
    return Done(console, error, impact, name.text, true, "set");
}

int RunConfigDelete(const Console& console, const ConfigOptions& options) {
    KeyName name = ParseKey(options.key);
    RefuseWhileRebootPending();
    TarnConfigManager::ValidateInputDelete(name.component, name.group, name.key);
    rapidjson::Document current, relevant;
    TarnConfigManager::GenerateDeleteDocuments(name.component, name.group, name.key, current,
                                               relevant);
    // What stays of the keys the key's validation plugins look at must still be valid.
    if (relevant.IsObject() && relevant.MemberCount() > 0) {
        ChangeCheck check{"the configuration left after deleting " + name.text, "", true,
                          "Nothing was deleted"};
        if (auto refused = PrepareToChange(console, check, relevant)) {
            return refused.value();
        }
    }
    rapidjson::Document desired(rapidjson::kObjectType);
    ImpactResult impact = Impact(console, desired, current);
    if (!impact.error.id.empty()) {
        return ReportUnfinished(console, impact.error, "impact check");
    }
    if (impact.compliant) {
        return PrintOutcome(console, "compliant",
                            name.text + " has no configuration: nothing to delete.", impact);
    }
    if (auto refused = Agreed(console, options, "deleting " + name.text,
                              "Delete " + name.text + "?", impact)) {
        return refused.value();
    }
    auto task = std::make_shared<ConsoleTask>(console, "delete");
    ErrorInfo error = TarnConfigManager::DeleteConfig(current, impact, name.component, name.group,
                                                      name.key, task);
    task->Finish();
    return Done(console, error, impact, name.text, false, "delete");
}

int RunConfigKeys(const Console& console) {
    std::vector<std::string> keys;
    for (const auto& [id, schema] : TarnSchemaStore::SchemaStore::GetCache()->GetSchemas()) {
        if (!schema->GetUserConfigSchema().empty()) {
            keys.push_back(id.GetComponent() + "/" + id.GetGroup() + "/" + id.GetKey());
        }
    }
    std::sort(keys.begin(), keys.end());
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        rapidjson::Value list(rapidjson::kArrayType);
        for (const std::string& key : keys) {
            list.PushBack(rapidjson::Value(key, out.GetAllocator()), out.GetAllocator());
        }
        out.AddMember("keys", list, out.GetAllocator());
        console.PrintJson(out);
        return kExitOk;
    }
    for (const std::string& key : keys) {
        console.Line(key);
    }
    return kExitOk;
}

}  // namespace Tarnctl
