// tarnctl validate DOC: checks a desired configuration document against the schemas of its
// keys and with the validation plugins, before it is applied. Ctrl-C aborts a plugin run.
// Main thread.
#pragma once

#include <optional>
#include <string>

#include "deradidezivizoda/validation/validation_result.h"
#include "tarn/json/json.h"

namespace Tarnctl {

class Console;

struct ValidateOptions {
    std::string document;        // path of the desired document
    std::string clusterContext;  // handed to every validation plugin
    bool skipSchema = false;     // run the plugins only, without the key schemas
};

// kExitOk when valid, kExitFindings when invalid, kExitError when a plugin run failed,
// kExitAborted when Ctrl-C stopped it; library errors are thrown.
int RunValidate(const Console& console, const ValidateOptions& options);

// Reports a validation result as validate does (path names what was validated; verdict as
// for PrepareToChange, null for validate itself) and returns the exit status validate gives.
int ReportValidation(const Console& console, const std::string& path,
                     const TarnConfigManager::ValidationResult& result, const char* verdict);

// How a command that changes or judges the host (apply, impact) has its document checked first.
struct ChangeCheck {
    std::string path;            // the document's path, for the report
    std::string clusterContext;  // handed to every validation plugin
    bool validate = true;        // false with --no-validate
    const char* refusal = "";    // said when refused: "Nothing was applied"
};

// Validates document as `validate` does (schemas, then plugins) and reduces it to this host's
// view; without check.validate it only reduces it. Empty when the command may go on; else
// the findings or the failed run are reported as `validate` reports them (with --json as
// {"result": "invalid" or "unfinished", "validation": ...}) and the exit status is returned:
// kExitFindings for an invalid document, FailureExitCode() for a validation that did not
// finish.
std::optional<int> PrepareToChange(const Console& console, const ChangeCheck& check,
                                   rapidjson::Document& document);

}  // namespace Tarnctl
