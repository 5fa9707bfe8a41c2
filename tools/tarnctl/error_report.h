// How tarnctl reports a failure: the library's code, the message id under which a user
// interface reports it (ErrorMessageIds()), the message and its arguments; as a line on
// standard error, or as {"error": {...}} on standard output with --json. Main thread.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "deradidezivizoda/core/error_info.h"

namespace Tarnctl {

class Console;

// A failure tarnctl itself finds (a document that is not an object, a state file it cannot
// write); it has no library code or message id.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ErrorReport {
    int code = 0;    // the library's code; 0 when the error has none
    std::string id;  // message id; empty when the code has none
    std::string message;
    std::vector<std::string> args;
    // A document that does not parse: the file (its path, or kStandardInput) and where in it,
    // from 1; line and column are 0 when the failure has no place (a file that cannot be read).
    std::string file = {};
    size_t line = 0;
    size_t column = 0;
    // The plugin's own error behind the library's (id and arguments); empty id when none.
    TarnConfigManager::ErrorInfo cause = {};
};

// A document that fails to parse is described by where it fails: message is
// "FILE:LINE:COLUMN: what is wrong" (FILE being the library's first argument, the path).
ErrorReport DescribeError(const std::exception& error);
// A plugin's error: id and arguments (its message, the key's schema text, is left out).
ErrorReport DescribeError(const TarnConfigManager::ErrorInfo& error);

// "error 2080 (com...parse-error): Failed to parse JSON String [/tmp/x.json]", followed by
// "; the plugin reports <id> [<args>]" when a plugin's error lies behind it; a document
// that does not parse: "x.json:3:7: Invalid value. (error 2080, com...parse-error)".
std::string ErrorText(const ErrorReport& report);
// {"code": ..., "id": ..., "message": ..., "args": [...]} built in allocator, with "file",
// "line" and "column" for a document that does not parse.
rapidjson::Value ErrorJson(const ErrorReport& report, rapidjson::MemoryPoolAllocator<>& allocator);

// id without the prefix every message id of the host shares ("com.corvid.tarn.settings.").
std::string ShortMessageId(const std::string& id);

// Reports the failure on the console and returns kExitError.
int ReportFailure(const Console& console, const ErrorReport& report);
// Reports the plugin-level error that ended an operation ("<operation> did not finish") and
// returns FailureExitCode().
int ReportUnfinished(const Console& console, const TarnConfigManager::ErrorInfo& error,
                     const std::string& operation);

}  // namespace Tarnctl
