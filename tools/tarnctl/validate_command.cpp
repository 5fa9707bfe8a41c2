#include "validate_command.h"

#include <algorithm>
#include <memory>

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

int Report(const Console& console, const std::string& path, const ValidationResult& result) {
    bool failed = !result.pluginErr.id.empty();
    if (console.Json()) {
        // The result carries the failure as its pluginErr.
        console.Line(result.Serialize());
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

}  // namespace

int RunValidate(const Console& console, const ValidateOptions& options) {
    rapidjson::Document document = ReadDocument(options.document);
    ValidationResult result;
    rapidjson::Document schema;
    if (!options.skipSchema) {
        auto generated = TarnConfigManager::GenerateHostDocumentSchema(document);
        if (auto* errors = boost::get<std::vector<ValidationErrorInfo>>(&generated)) {
            result.errors = std::move(*errors);
            return Report(console, DocumentName(options.document), result);
        }
        schema = std::move(boost::get<rapidjson::Document>(generated));
        ReduceToThisHost(schema, document);
    } else {
        ReduceToThisHost(document);
    }
    auto task = std::make_shared<ConsoleTask>(console, "validate");
    TarnConfigManager::Validate(document, schema, options.clusterContext, result,
                                !options.skipSchema, task);
    task->Finish();
    return Report(console, DocumentName(options.document), result);
}

}  // namespace Tarnctl
