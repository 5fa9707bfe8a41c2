#include "host_root_fixture.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tarn/paths.h"

namespace fs = std::filesystem;

namespace TarnTest {

const char kFreshProductUuid[] = "4C4C4544-0042-3510-8052-B4C04F503232\n";

namespace {

// Refuses to wipe anything that is not a folder inside the build tree: a build configured
// with TARN_ROOT=/ must never have its tests delete the real host.
fs::path CheckedRoot() {
    fs::path root = fs::weakly_canonical(TarnPaths::kRoot);
    fs::path build = fs::weakly_canonical(TARN_BINARY_DIR);
    std::string r = root.string();
    std::string b = build.string() + "/";
    if (r.compare(0, b.size(), b) != 0) {
        throw std::runtime_error("refusing to reset a host root outside the build tree: " + r);
    }
    return root;
}

}  // namespace

std::string RootPath(const std::string& relative) {
    return std::string(TarnPaths::kRoot) + "/" + relative;
}

void ResetHostRoot() {
    fs::path root = CheckedRoot();
    fs::remove_all(root);
    for (const char* dir :
         {TarnPaths::kPluginDir, TarnPaths::kPluginSchemaDir, TarnPaths::kTelemetryDir,
          TarnPaths::kSchemaDir, TarnPaths::kStateDir, TarnPaths::kSshDir}) {
        fs::create_directories(dir);
    }
    for (const char* file : {TarnPaths::kPluginInputFile, TarnPaths::kConfigStoreDb,
                             TarnPaths::kLogFile, TarnPaths::kWaiterNotifyFile,
                             TarnPaths::kFleetbootFirewallFile, TarnPaths::kPyPluginRunner}) {
        fs::create_directories(fs::path(file).parent_path());
    }
    WriteFile(TarnPaths::kProductUuidFile, kFreshProductUuid);
}

void WriteFile(const std::string& path, const std::string& text) {
    fs::path p = path.empty() || path[0] != '/' ? fs::path(RootPath(path)) : fs::path(path);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + p.string());
    }
}

std::string ReadFile(const std::string& path) {
    std::string p = path.empty() || path[0] != '/' ? RootPath(path) : path;
    std::ifstream in(p, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool PathExists(const std::string& path) {
    std::string p = path.empty() || path[0] != '/' ? RootPath(path) : path;
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

}  // namespace TarnTest
