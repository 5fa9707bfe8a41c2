// tarnctl plugins list|validate: the plugins installed on the host, and a check of plugin
// manifests against the manifest schemas (before a plugin folder is installed, for
// instance). Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

// Every manifest below the plugin directory with what it serves. kExitError (after listing
// the others) when a manifest does not load.
int RunPluginsList(const Console& console);

// Checks every manifest below directory; kExitOk when all conform, else kExitFindings.
int RunPluginsValidate(const Console& console, const std::string& directory);

}  // namespace Tarnctl
