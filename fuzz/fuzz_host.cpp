#include "fuzz_host.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tarn/paths.h"

namespace fs = std::filesystem;

namespace TarnFuzz {

void PrepareHostRoot() {
    static bool prepared = false;
    if (prepared) {
        return;
    }
    prepared = true;
    for (const char* dir : {TarnPaths::kPluginDir, TarnPaths::kPluginSchemaDir,
                            TarnPaths::kSchemaDir, TarnPaths::kStateDir, TarnPaths::kSshDir}) {
        fs::create_directories(dir);
    }
    for (const char* file : {TarnPaths::kPluginInputFile, TarnPaths::kConfigStoreDb,
                             TarnPaths::kLogFile, TarnPaths::kProductUuidFile}) {
        fs::create_directories(fs::path(file).parent_path());
    }
    WriteText(TarnPaths::kProductUuidFile, "4C4C4544-0042-3510-8052-B4C04F503232\n");
    // The code under test logs every refusal; each run starts the log afresh.
    WriteText(TarnPaths::kLogFile, "");
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::abort();
    }
}

}  // namespace TarnFuzz
