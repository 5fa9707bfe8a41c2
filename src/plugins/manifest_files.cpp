#include "deradidezivizoda/plugins/manifest_files.h"

#include <algorithm>
#include <boost/filesystem.hpp>

#include "tarn/schemastore/folder_watch.h"

namespace fs = boost::filesystem;

namespace TarnConfigManager {

std::vector<std::string> FindManifestFiles(const std::string_view& dir, std::string& error) {
    return FindManifestFiles(dir, error, nullptr);
}

std::vector<std::string> FindManifestFiles(const std::string_view& dir, std::string& error,
                                           TarnSchemaStore::FolderWatch* watch) {
    error.clear();
    std::vector<std::string> files;
    try {
        if (watch) {
            watch->Add(std::string(dir));
        }
        // The iterator does not descend into links to folders; symlink_status keeps links to
        // files out too.
        for (const fs::directory_entry& entry :
             fs::recursive_directory_iterator(std::string(dir))) {
            const fs::file_type type = entry.symlink_status().type();
            if (type == fs::directory_file && watch) {
                watch->Add(entry.path().string());  // before the iterator reads it
            } else if (entry.path().extension() == ".json" && type == fs::regular_file) {
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
