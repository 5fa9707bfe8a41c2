#include "plugin_install.h"

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "host_root_fixture.h"
#include "tarn/paths.h"

namespace fs = std::filesystem;

namespace TarnTest {

const char kTestPluginComponent[] = "testing";
const char kTestPluginGroup[] = "plugins";
const char kTestPluginKey[] = "probe";

namespace {

const char kTestPluginSource[] = TARN_SOURCE_DIR "/tests/plugins/test_plugins";
const char kNativeTestPlugin[] =
    TARN_BINARY_DIR "/tests/plugins/test_plugins/libtarn_test_plugin.so";

// The stage folder mirrors the root: a fixed path's copy in it.
fs::path Staged(const std::string& fixedPath) {
    return fs::path(TARN_BINARY_DIR "/runners/stage") +=
           fixedPath.substr(std::strlen(TarnPaths::kRoot));
}

void Link(const fs::path& target, const fs::path& link) {
    if (!fs::exists(target)) {
        throw std::runtime_error("not built: " + target.string());
    }
    fs::create_directories(link.parent_path());
    fs::remove_all(link);
    fs::create_symlink(target, link);
}

}  // namespace

void InstallPluginRunners() {
    Link(Staged(TarnPaths::kCppPluginRunner), TarnPaths::kCppPluginRunner);
    Link(Staged(TarnPaths::kPyPluginRunner), TarnPaths::kPyPluginRunner);
    fs::path python = fs::path(TarnPaths::kPyPluginRunner).parent_path().parent_path() / "python";
    Link(Staged(python.string()), python);
}

std::string InstallTestPlugin(const std::string& language, const std::string& behaviour) {
    fs::path folder = fs::path(TarnPaths::kPluginDir) / (language + "test") / behaviour;
    fs::path source = fs::path(kTestPluginSource) / language;
    if (language == "cpp") {
        Link(kNativeTestPlugin, folder / ("lib" + language + "test_" + behaviour + ".so"));
    } else if (language == "python") {
        Link(source / "plugin.py", folder / "plugin.py");
    } else {
        throw std::invalid_argument("no test plugins in language " + language);
    }
    fs::path manifest = folder / "manifest.json";
    // The apply operation provides the task key of the plugin's SET changes, which holds
    // its id: the folders it is installed in.
    std::string text = ReadFile((source / "manifest.json").string());
    const std::string placeholder = "@PLUGIN_ID@";
    text.replace(text.find(placeholder), placeholder.size(), language + "test:" + behaviour);
    WriteFile(manifest.string(), text);
    return manifest.string();
}

}  // namespace TarnTest
