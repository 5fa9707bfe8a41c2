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
};

ErrorReport DescribeError(const std::exception& error);
// A plugin's error: id and arguments (its message, the key's schema text, is left out).
ErrorReport DescribeError(const TarnConfigManager::ErrorInfo& error);

// "error 2080 (com...parse-error): Failed to parse JSON String [/tmp/x.json]"
std::string ErrorText(const ErrorReport& report);
// {"code": ..., "id": ..., "message": ..., "args": [...]} built in allocator.
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
