#include "deradidezivizoda/plugins/manifest_files.h"

#include <algorithm>
#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

namespace TarnConfigManager {

std::vector<std::string> FindManifestFiles(const std::string_view& dir, std::string& error) {
    error.clear();
    std::vector<std::string> files;
    try {
        // The iterator does not descend into links to folders; symlink_status keeps links to
        // files out too.
        for (const fs::directory_entry& entry :
             fs::recursive_directory_iterator(std::string(dir))) {
            if (entry.path().extension() == ".json" &&
                entry.symlink_status().type() == fs::regular_file) {
                files.push_back(entry.path().string());
            }
        }
    } catch (const fs::filesystem_error& e) {
        error = e.what();
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace TarnConfigManager
