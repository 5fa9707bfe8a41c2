#include "plugins/run_folder.h"

#include <sys/stat.h>

#include <cerrno>

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

}  // namespace TarnConfigManager
