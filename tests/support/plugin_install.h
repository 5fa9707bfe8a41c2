// Installing plugins into a freshly reset host root for tests: the two runners and the Python
// SDK (linked from the build tree's stage folder, runners/stage), and the test plugins of
// tests/plugins/test_plugins (manifest and module). Test-only; one thread.
#pragma once

#include <string>

namespace TarnTest {

// The one key every test plugin accepts: component, group and key.
extern const char kTestPluginComponent[];
extern const char kTestPluginGroup[];
extern const char kTestPluginKey[];

// Links the C++ runner, the Python runner and the Python SDK to their fixed paths.
void InstallPluginRunners();

// Installs the test plugin of language ("cpp" or "python") that shows behaviour (a folder
// name the test plugins know: "ok", "error", "exit2", ...) as
// <plugin dir>/<language>test/<behaviour>/manifest.json with its module beside it.
// Returns the manifest's path; the plugin's id is "<language>test:<behaviour>".
std::string InstallTestPlugin(const std::string& language, const std::string& behaviour);

}  // namespace TarnTest
