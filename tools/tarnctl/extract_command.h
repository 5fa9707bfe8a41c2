// tarnctl extract current|desired|smartnic: one of the host's configurations as a
// configuration document on standard output. Main thread.
#pragma once

namespace Tarnctl {

class Console;

enum class ExtractWhat {
    kCurrent,   // what the host runs now (store rows, SSH files, extract plugins)
    kDesired,   // the stored desired configuration
    kSmartnic,  // the stored SmartNIC configuration
};

// Indented JSON for people, compact with --json; kExitOk, library errors are thrown. Values
// their schema marks sensitive are masked unless showSecrets, which only root may ask for
// (CommandError otherwise).
int RunExtract(const Console& console, ExtractWhat what, bool showSecrets);

}  // namespace Tarnctl
