#include "host_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "console.h"
#include "deradidezivizoda/core/host_state.h"
#include "error_report.h"
#include "exit_codes.h"
#include "state_names.h"
#include "tarn/paths.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Replaces the file through a temporary file and a rename: readers see the old or the new
// state, never half of one.
void WriteStateFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::string temporary = path + ".tarnctl-" + std::to_string(getpid());
    std::ofstream out(temporary, std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::string message = SystemError("cannot write " + temporary);
        std::remove(temporary.c_str());
        throw CommandError(message);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::string message = SystemError("cannot replace " + path);
        std::remove(temporary.c_str());
        throw CommandError(message);
    }
}

void PrintMaintenanceMode(const Console& console, bool enabled) {
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        out.AddMember("maintenanceMode", enabled, out.GetAllocator());
        console.PrintJson(out);
    } else {
        console.Line(enabled ? "The host is in maintenance mode."
                             : "The host is not in maintenance mode.");
    }
}

}  // namespace

int RunHostShow(const Console& console) {
    std::string uuid = TarnConfigManager::GetBIOSUUID();
    bool maintenance = TarnConfigManager::IsMaintenanceModeEnabled();
    TarnConfigManager::QUICK_BOOT_STATUS quickBoot = TarnConfigManager::FetchQuickBootStatus();
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        auto& allocator = out.GetAllocator();
        out.AddMember("biosUuid", rapidjson::Value(uuid, allocator), allocator);
        out.AddMember("maintenanceMode", maintenance, allocator);
        out.AddMember("quickBoot", rapidjson::StringRef(QuickBootName(quickBoot)), allocator);
        out.AddMember("quickBootStatus", static_cast<int>(quickBoot), allocator);
        console.PrintJson(out);
        return kExitOk;
    }
    TextTable table({"PROPERTY", "VALUE"});
    table.AddRow({"BIOS UUID", uuid});
    table.AddRow({"maintenance mode",
                  Cell(maintenance ? "on" : "off", maintenance ? Colour::kYellow : Colour::kNone)});
    table.AddRow({"quick boot", QuickBootName(quickBoot)});
    table.Print(console);
    return kExitOk;
}

int RunMaintenance(const Console& console, bool enter) {
    WriteStateFile(TarnPaths::kMaintenanceModeFile, enter ? "1\n" : "0\n");
    bool enabled = TarnConfigManager::IsMaintenanceModeEnabled();
    if (enabled != enter) {
        throw CommandError(std::string("wrote ") + TarnPaths::kMaintenanceModeFile +
                           " but the host still reports maintenance mode " +
                           (enabled ? "on" : "off") + " (see " + TarnPaths::kKernelSignatureFile +
                           ")");
    }
    PrintMaintenanceMode(console, enabled);
    return kExitOk;
}

}  // namespace Tarnctl
