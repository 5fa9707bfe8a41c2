#include "validate_command.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "console.h"
#include "console_task.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "deradidezivizoda/validation/validate.h"
#include "error_report.h"
#include "exit_codes.h"
#include "host_document.h"
#include "interrupt_guard.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

using TarnConfigManager::ValidationErrorInfo;
using TarnConfigManager::ValidationResult;

void PrintFindings(const Console& console, const std::string& path,
                   std::vector<ValidationErrorInfo> errors) {
    if (errors.empty()) {
        console.Line(console.Paint(path + " is valid.", Colour::kGreen));
        return;
    }
    // The library leaves the order open; by path reads best.
    std::sort(
        errors.begin(), errors.end(),
        [](const ValidationErrorInfo& a, const ValidationErrorInfo& b) { return a.path < b.path; });
    TextTable table({"PATH", "PROBLEM", "ARGUMENTS"});
    size_t problems = 0;
    for (const ValidationErrorInfo& error : errors) {
        for (const auto& message : error.messages) {
            table.AddRow({error.path, Cell(ShortMessageId(message.id), Colour::kRed),
                          Joined(message.args, ", ")});
            ++problems;
        }
    }
    console.Line(console.Paint(path + " is invalid: " + std::to_string(problems) + " problem" +
                                   (problems == 1 ? "" : "s") + ".",
                               Colour::kRed));
    table.Print(console);
}

void PrintJsonResult(const Console& console, const ValidationResult& result, const char* verdict) {
    if (!verdict) {
        console.Line(result.Serialize());
        return;
    }
    rapidjson::Document out(rapidjson::kObjectType);
    rapidjson::Document validation;
    validation.Parse(result.Serialize().c_str());
    out.AddMember("result", rapidjson::StringRef(verdict), out.GetAllocator());
    out.AddMember("validation", rapidjson::Value(validation, out.GetAllocator()),
                  out.GetAllocator());
    console.PrintJson(out);
}

// verdict names the result of a command that validated on the way (apply, impact); null for
// validate itself, whose JSON output is the validation result alone.
int Report(const Console& console, const std::string& path, const ValidationResult& result,
           const char* verdict = nullptr) {
    bool failed = !result.pluginErr.id.empty();
    if (console.Json()) {
        // The result carries the failure as its pluginErr.
        PrintJsonResult(console, result, verdict);
    } else if (failed) {
        return ReportUnfinished(console, result.pluginErr, "validation");
    } else {
        PrintFindings(console, path, result.errors);
    }
    if (failed) {
        return FailureExitCode();
    }
    return result.errors.empty() ? kExitOk : kExitFindings;
}

// Validates document, reduced to this host's view on the way; when the schema cannot be
// generated the result holds why and the document stays as it is.
ValidationResult ValidateDocument(const Console& console, rapidjson::Document& document,
                                  const std::string& clusterContext, bool skipSchema) {
    ValidationResult result;
    rapidjson::Document schema;
    if (!skipSchema) {
        auto generated = TarnConfigManager::GenerateHostDocumentSchema(document);
        if (auto* errors = boost::get<std::vector<ValidationErrorInfo>>(&generated)) {
            result.errors = std::move(*errors);
            return result;
        }
        schema = std::move(boost::get<rapidjson::Document>(generated));
        ReduceToThisHost(schema, document);
    } else {
        ReduceToThisHost(document);
    }
    auto task = std::make_shared<ConsoleTask>(console, "validate");
    TarnConfigManager::Validate(document, schema, clusterContext, result, !skipSchema, task);
    task->Finish();
    return result;
}

bool Valid(const ValidationResult& result) {
    return result.errors.empty() && result.pluginErr.id.empty();
}

}  // namespace

int ReportValidation(const Console& console, const std::string& path,
                     const ValidationResult& result, const char* verdict) {
    return Report(console, path, result, verdict);
}

int RunValidate(const Console& console, const ValidateOptions& options) {
    rapidjson::Document document = ReadDocument(options.document);
    ValidationResult result =
        ValidateDocument(console, document, options.clusterContext, options.skipSchema);
    return Report(console, DocumentName(options.document), result);
}

std::optional<int> PrepareToChange(const Console& console, const ChangeCheck& check,
                                   rapidjson::Document& document) {
    if (!check.validate) {
        ReduceToThisHost(document);
        return std::nullopt;
    }
    ValidationResult result = ValidateDocument(console, document, check.clusterContext, false);
    if (Valid(result)) {
        return std::nullopt;
    }
    bool finished = result.pluginErr.id.empty();
    int status = Report(console, check.path, result, finished ? "invalid" : "unfinished");
    if (finished) {
        console.Note(std::string(check.refusal) +
                     ": the document is invalid (--no-validate skips this check).");
    }
    return status;
}

}  // namespace Tarnctl
