#include "plugins/run_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "deradidezivizoda/core/throw_exception.h"

namespace TarnConfigManager {

bool MakeParentFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

void MakeRunFolder(const std::string& path) {
    const std::string folder = path.substr(0, path.rfind('/'));
    struct stat status {};
    // The folder is there on every run but the first: one look instead of a mkdir per level.
    if (lstat(folder.c_str(), &status) != 0) {
        MakeParentFolders(path);
        if (lstat(folder.c_str(), &status) != 0) {
            return;
        }
    }
    std::string problem;
    if (S_ISLNK(status.st_mode)) {
        problem = "is a symbolic link, which is never followed";
    } else if (!S_ISDIR(status.st_mode)) {
        problem = "is not a folder";
    } else if (status.st_uid != geteuid()) {
        problem = "belongs to user " + std::to_string(status.st_uid) + ", not to user " +
                  std::to_string(geteuid()) + " who runs the plugins";
    } else {
        return;
    }
    ThrowException<ConfigManagerException>(UNEXPECTED_ERROR,
                                           "The plugin run folder " + folder + " " + problem);
}

}  // namespace TarnConfigManager
