// The folder of the plugin run files (request, result, host lock): created on demand, each
// missing folder with mode 0700, since the files may carry secrets of the host.
#pragma once

#include <string>

namespace TarnConfigManager {

// Creates the missing folders above path. Returns false (errno set) when one cannot be
// created.
bool MakeParentFolders(const std::string& path);

}  // namespace TarnConfigManager
