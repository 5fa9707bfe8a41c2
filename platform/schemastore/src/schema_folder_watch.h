// SchemaFolderWatch: notices changes below the schema folder without listing it. The listing
// adds each folder before reading it, so any change after that point queues an event. A
// folder holding symbolic links cannot be watched this way (the linked file's own folder is
// not watched): the watch then gives up and reports a possible change on every call.
// Not thread-safe; the store's lock guards it.
#pragma once

#include <string>

namespace TarnSchemaStore {

class SchemaFolderWatch {
public:
    SchemaFolderWatch() = default;
    ~SchemaFolderWatch();
    SchemaFolderWatch(const SchemaFolderWatch&) = delete;
    SchemaFolderWatch& operator=(const SchemaFolderWatch&) = delete;

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
