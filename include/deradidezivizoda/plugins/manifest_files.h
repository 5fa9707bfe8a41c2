// FindManifestFiles: the one walk of a plugin folder that every reader of manifests shares
// (the plugin manager, the directory check and the host agent), so all of them see the same
// files. Stateless; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "deradidezivizoda/export.h"

namespace TarnSchemaStore {
class FolderWatch;
}

namespace TarnConfigManager {

// The regular files below dir, at any depth, whose names end in exactly ".json", in path
// order. Symbolic links below dir are never followed, to files or to folders: they are
// skipped. When the walk stops on a folder that cannot be read, error receives the reason
// and the files found until then are returned; error is emptied otherwise.
TARN_EXPORT std::vector<std::string> FindManifestFiles(const std::string_view& dir,
                                                       std::string& error);
// The same walk, adding every folder to watch before reading it, so that a change made to the
// folder after the walk saw it shows in the watch.
TARN_EXPORT std::vector<std::string> FindManifestFiles(const std::string_view& dir,
                                                       std::string& error,
                                                       TarnSchemaStore::FolderWatch* watch);

}  // namespace TarnConfigManager
