// FolderWatch: notices changes below a folder (the schema folder, the plugin folder) without
// listing it again. The listing adds each folder before reading it, so any change after that
// point queues an event. A folder holding symbolic links to files cannot be watched this way
// (the linked file's own folder is not watched): the lister then gives up the watch, which
// reports a possible change on every call. Not thread-safe; its owner's lock guards it.
#pragma once

#include <string>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnSchemaStore {

class FolderWatch {
public:
    FolderWatch() = default;
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Drops every watch and starts afresh, ready for Add().
    void Restart();
    // Watches the entries of one folder; a failure makes the watch give up.
    void Add(const std::string& folder);
    void GiveUp();

    // True while every folder seen since Restart() is watched.
    bool IsWatching() const { return fd_ >= 0; }
    // True when a change may have happened since Restart(): an event is queued, or the
    // folder is not watched.
    bool MayHaveChanged() const;

private:
    int fd_ = -1;
};

}  // namespace TarnSchemaStore

TARN_PUBLIC_END
