#include "boot_command.h"

#include <ctime>
#include <fstream>
#include <sstream>

#include "console.h"
#include "deradidezivizoda/apply/boot_apply.h"
#include "deradidezivizoda/apply/early_bootstrap.h"
#include "error_report.h"
#include "exit_codes.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

// What ApplyBootDocument logs when it stored the document for the next boot.
const char kStoredForReboot[] =
    "ApplyConfig updated the host with the desired configuration document, host must be "
    "rebooted for it to take effect.";

const char* StatusName(int status) {
    switch (status) {
        case TarnConfigManager::BOOT_APPLY_OK:
            return "complete";
        case TarnConfigManager::BOOT_APPLY_FAILED:
            return "complete with failures";
        case TarnConfigManager::BOOT_APPLY_NOT_COMPLETE:
            return "not complete";
    }
    return "unknown";
}

std::string TimeText(time_t time) {
    struct tm local {};
    localtime_r(&time, &local);
    char text[64];
    return std::string(text, strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local));
}

void PrintJson(const Console& console, const TarnConfigManager::BootApplyInfo& info) {
    rapidjson::Document out(rapidjson::kObjectType);
    auto& allocator = out.GetAllocator();
    out.AddMember("status", info.status, allocator);
    out.AddMember("state", rapidjson::StringRef(StatusName(info.status)), allocator);
    rapidjson::Value failures(rapidjson::kArrayType);
    for (const TarnConfigManager::BootApplyErrorInfo& failure : info.failures) {
        rapidjson::Value entry(rapidjson::kObjectType);
        entry.AddMember("time", rapidjson::Value(TimeText(failure.time), allocator), allocator);
        rapidjson::Value args(rapidjson::kArrayType);
        for (const std::string& arg : failure.error.args) {
            args.PushBack(rapidjson::Value(arg, allocator), allocator);
        }
        entry.AddMember("id", rapidjson::Value(failure.error.id, allocator), allocator);
        entry.AddMember("args", args, allocator);
        failures.PushBack(entry, allocator);
    }
    out.AddMember("failures", failures, allocator);
    console.PrintJson(out);
}

void PrintText(const Console& console, const TarnConfigManager::BootApplyInfo& info) {
    Colour colour =
        info.status == TarnConfigManager::BOOT_APPLY_OK ? Colour::kGreen : Colour::kYellow;
    console.Line("boot: " + console.Paint(StatusName(info.status), colour));
    if (info.failures.empty()) {
        return;
    }
    TextTable table({"TIME", "ID", "ARGUMENTS"});
    for (const TarnConfigManager::BootApplyErrorInfo& failure : info.failures) {
        std::string args;
        for (const std::string& arg : failure.error.args) {
            args += (args.empty() ? "" : ", ") + arg;
        }
        table.AddRow({TimeText(failure.time), ShortMessageId(failure.error.id), args});
    }
    table.Print(console);
}

int ExitCodeOf(const TarnConfigManager::BootApplyInfo& info) {
    return info.status == TarnConfigManager::BOOT_APPLY_OK ? kExitOk : kExitFindings;
}

// The last error line the library logged, which says why an operation returned 1.
std::string LastError(const CSLogger::Capture& log) {
    std::string reason;
    for (const CSLogger::Line& line : log.Lines()) {
        if (line.priority == 0) {
            reason = line.text;
        }
    }
    return reason.empty() ? std::string("see ") + TarnPaths::kLogFile : reason;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        throw CommandError("cannot read " + path);
    }
    return text.str();
}

}  // namespace

int RunBootRun(const Console& console) {
    TarnConfigStore::MarkBootStarted();
    TarnConfigManager::ExecuteBootPlugins();
    TarnConfigStore::MarkBootComplete();
    TarnConfigManager::BootApplyInfo info = TarnConfigManager::GetBootApplyInfo();
    if (!info.failures.empty()) {
        const TarnConfigManager::ErrorInfo& error = info.failures.front().error;
        return ReportFailure(console, {0, error.id, "boot-time apply failed", error.args});
    }
    if (console.Json()) {
        PrintJson(console, info);
    } else {
        PrintText(console, info);
    }
    return kExitOk;
}

int RunBootStatus(const Console& console) {
    TarnConfigManager::BootApplyInfo info = TarnConfigManager::GetBootApplyInfo();
    if (console.Json()) {
        PrintJson(console, info);
    } else {
        PrintText(console, info);
    }
    return ExitCodeOf(info);
}

int RunBootstrap(const Console& console, const BootstrapOptions& options) {
    CSLogger::Capture log;
    int result = options.early
                     ? TarnConfigManager::ApplyEarlyBootstrapConfig(ReadText(options.document))
                     : TarnConfigManager::ApplyBootDocument(options.document);
    if (result != 0) {
        return ReportFailure(console, {0, "", "bootstrap failed: " + LastError(log), {}});
    }
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        out.AddMember("bootstrapped", true, out.GetAllocator());
        out.AddMember("rebootPending", log.Contains(2, kStoredForReboot), out.GetAllocator());
        console.PrintJson(out);
    } else if (options.early) {
        console.Line("Early bootstrap configuration in place.");
    } else {
        console.Line(log.Contains(2, kStoredForReboot)
                         ? options.document +
                               " is stored with the deployment files and is "
                               "applied when the host boots."
                         : "Host bootstrapped from " + options.document + ".");
    }
    return kExitOk;
}

}  // namespace Tarnctl
