// tarnctl host show|maintenance: the host's identity and state as the library sees it, and
// entering or leaving maintenance mode through the state file of the host stand-in
// (TarnPaths::kMaintenanceModeFile). Main thread.
#pragma once

namespace Tarnctl {

class Console;

// BIOS UUID, maintenance mode and quick boot support; kExitOk, host errors are thrown.
int RunHostShow(const Console& console);

// Writes the maintenance-mode state and checks that the host now reports it; kExitOk, or
// CommandError when the file cannot be written or the host reports otherwise.
int RunMaintenance(const Console& console, bool enter);

}  // namespace Tarnctl
