#include "error_report.h"

#include <cstdio>

#include "console.h"
#include "deradidezivizoda/core/error_codes.h"
#include "deradidezivizoda/core/exceptions.h"
#include "exit_codes.h"
#include "interrupt_guard.h"
#include "tarn/json/config_store_exception.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

const char kIdPrefix[] = "com.corvid.tarn.settings.";

std::string MessageIdOf(int code) {
    const auto& ids = TarnConfigManager::ErrorMessageIds();
    auto found = ids.find(static_cast<TarnConfigManager::CMErrorCodes>(code));
    return found == ids.end() ? std::string() : std::string(found->second);
}

// "x.json:3:7: Invalid value." (no line and column when the failure has no place).
void Locate(ErrorReport& report, const TarnConfigStore::JsonParseError& where) {
    report.file = report.args.empty() ? std::string("?") : report.args.front();
    report.line = where.line;
    report.column = where.column;
    report.message = report.file;
    if (where.line > 0) {
        report.message += ":" + std::to_string(where.line) + ":" + std::to_string(where.column);
    }
    report.message += ": " + where.message;
}

}  // namespace

ErrorReport DescribeError(const std::exception& error) {
    ErrorReport report;
    report.message = error.what();
    if (auto* stored = dynamic_cast<const TarnConfigStore::ConfigStoreException*>(&error)) {
        report.code = stored->GetCode();
        report.id = MessageIdOf(report.code);
        report.args = stored->GetArgs();
        if (const auto* where = stored->GetParseError()) {
            Locate(report, *where);
        }
    }
    if (auto* library = dynamic_cast<const TarnConfigManager::ConfigManagerException*>(&error)) {
        if (const TarnConfigManager::ErrorInfo* cause = library->GetCause()) {
            report.cause = *cause;
        }
    }
    return report;
}

ErrorReport DescribeError(const TarnConfigManager::ErrorInfo& error) {
    ErrorReport report;
    // The message of a plugin's error is its key's schema text, for user interfaces that
    // render the id with it; on a console the id and arguments say it.
    report.id = error.id;
    report.args = error.args;
    return report;
}

std::string ShortMessageId(const std::string& id) {
    return id.rfind(kIdPrefix, 0) == 0 ? id.substr(sizeof(kIdPrefix) - 1) : id;
}

std::string ErrorText(const ErrorReport& report) {
    if (!report.file.empty()) {
        // The place leads, as compilers and editors write it; the code and id follow.
        std::string text = report.message + " (error " + std::to_string(report.code);
        return text + (report.id.empty() ? "" : ", " + report.id) + ")";
    }
    std::string text = "error";
    if (report.code != 0) {
        text += " " + std::to_string(report.code);
    }
    if (!report.id.empty()) {
        text += " (" + report.id + ")";
    }
    if (!report.message.empty()) {
        text += ": " + report.message;
    }
    if (!report.args.empty()) {
        text += " [" + Joined(report.args, ", ") + "]";
    }
    if (!report.cause.id.empty()) {
        text += "; the plugin reports " + report.cause.id + " [" + Joined(report.cause.args, ", ") +
                "]";
    }
    return text;
}

namespace {

rapidjson::Value TextArray(const std::vector<std::string>& texts,
                           rapidjson::MemoryPoolAllocator<>& allocator) {
    rapidjson::Value array(rapidjson::kArrayType);
    for (const std::string& text : texts) {
        array.PushBack(rapidjson::Value(text, allocator), allocator);
    }
    return array;
}

}  // namespace

rapidjson::Value ErrorJson(const ErrorReport& report, rapidjson::MemoryPoolAllocator<>& allocator) {
    rapidjson::Value args = TextArray(report.args, allocator);
    rapidjson::Value json(rapidjson::kObjectType);
    json.AddMember("code", report.code, allocator);
    json.AddMember("id", rapidjson::Value(report.id, allocator), allocator);
    json.AddMember("message", rapidjson::Value(report.message, allocator), allocator);
    json.AddMember("args", args, allocator);
    if (!report.file.empty()) {
        json.AddMember("file", rapidjson::Value(report.file, allocator), allocator);
        json.AddMember("line", static_cast<uint64_t>(report.line), allocator);
        json.AddMember("column", static_cast<uint64_t>(report.column), allocator);
    }
    if (!report.cause.id.empty()) {
        rapidjson::Value cause(rapidjson::kObjectType);
        cause.AddMember("id", rapidjson::Value(report.cause.id, allocator), allocator);
        cause.AddMember("args", TextArray(report.cause.args, allocator), allocator);
        json.AddMember("cause", cause, allocator);
    }
    return json;
}

int ReportFailure(const Console& console, const ErrorReport& report) {
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        out.AddMember("error", ErrorJson(report, out.GetAllocator()), out.GetAllocator());
        console.PrintJson(out);
    } else {
        // Errors are never quiet.
        std::fprintf(stderr, "tarnctl: %s\n",
                     console.Paint(ErrorText(report), Colour::kRed, Stream::kErr).c_str());
    }
    return kExitError;
}

int ReportUnfinished(const Console& console, const TarnConfigManager::ErrorInfo& error,
                     const std::string& operation) {
    ErrorReport report = DescribeError(error);
    report.message = operation + " did not finish";
    ReportFailure(console, report);
    return FailureExitCode();
}

}  // namespace Tarnctl
