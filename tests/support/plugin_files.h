// Laying out plugin manifests and the manifest schemas in the host root for tests: the
// schemas are copied from the source tree (plugins/schemas/), manifests are written below
// the plugin directory. Format in docs/manifests.md. Test-only; one thread.
#pragma once

#include <string>

namespace TarnTest {

// Copies plugin_version_1_schema.json .. plugin_version_3_schema.json into the root's
// manifest-schema folder.
void InstallManifestSchemas();

// Writes text as <plugin directory>/<relativeDir>/<fileName> (relativeDir "" is the plugin
// directory itself) and returns the file's full path.
std::string InstallManifest(const std::string& relativeDir, const std::string& text,
                            const std::string& fileName = "manifest.json");

// Writes manifest below relativeDir as InstallManifest does and, beside it, the Python extract
// plugin the tests share (tests/extract/extract_test_plugin.py) as plugin.py.
void InstallExtractTestPlugin(const std::string& relativeDir, const std::string& manifest);

}  // namespace TarnTest
