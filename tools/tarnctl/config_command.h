// tarnctl config get|set|delete COMPONENT/GROUP/KEY: reads, sets or deletes the configuration
// of one key through the library's single-key chain; config keys lists the keys it accepts. set and
// delete validate, show the impact and ask (unless --yes) before they change the host. Ctrl-C
// aborts a plugin run. Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

struct ConfigOptions {
    std::string key;    // COMPONENT/GROUP/KEY
    std::string value;  // set: JSON text, or @FILE
    bool yes = false;   // change without asking
};

// kExitOk; CommandError for a key that is not COMPONENT/GROUP/KEY; library errors are thrown.
int RunConfigGet(const Console& console, const ConfigOptions& options);
// kExitOk when set (now or for the next boot) or nothing changes; kExitFindings for a value
// the key's schema or validation refuses; kExitError when maintenance mode is needed and the
// host is not in it; a failed plugin run or a no gives FailureExitCode().
int RunConfigSet(const Console& console, const ConfigOptions& options);
// The same for deleting the key's configuration.
int RunConfigDelete(const Console& console, const ConfigOptions& options);
// The keys whose schema lets users read and set them, sorted; kExitOk.
int RunConfigKeys(const Console& console);

}  // namespace Tarnctl
