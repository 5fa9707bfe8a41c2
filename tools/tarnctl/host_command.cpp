#include "host_command.h"

#include <string>

#include "console.h"
#include "deradidezivizoda/core/host_state.h"
#include "error_report.h"
#include "exit_codes.h"
#include "state_names.h"
#include "tarn/hostctl/sys_info.h"
#include "tarn/paths.h"
#include "text_table.h"

namespace Tarnctl {

namespace {

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
    if (int status = SysInfo_SetMaintenanceMode(enter)) {
        throw CommandError(std::string("cannot replace ") + TarnPaths::kMaintenanceModeFile + ": " +
                           SABLE_ReturnStatusToString(status));
    }
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
