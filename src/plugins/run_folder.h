// The folder of the plugin run files (request, result, host lock): created on demand, each
// missing folder with mode 0700, since the files may carry secrets of the host. It is never
// followed through a symbolic link.
#pragma once

#include <string>

namespace TarnConfigManager {

// Creates the missing folders above path. Returns false (errno set) when one cannot be
// created.
bool MakeParentFolders(const std::string& path);

// Creates the missing folders above path, then checks the folder path is in: a folder itself,
// not a symbolic link to one, and owned by this process's user, so that run files can never be
// steered into a place someone else chose. Throws ConfigManagerException 3000 naming the folder
// when it is not; a folder that could not be made is left to the caller's open to report.
void MakeRunFolder(const std::string& path);

}  // namespace TarnConfigManager
