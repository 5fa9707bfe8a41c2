#include "tarn/schemastore/folder_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace TarnSchemaStore {

namespace {

// Everything that changes which files exist or what they hold; reading them (our own load)
// raises none of these.
constexpr uint32_t kChangeEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF |
                                   IN_MOVE_SELF;

}  // namespace

FolderWatch::~FolderWatch() {
    GiveUp();
}

void FolderWatch::Restart() {
    GiveUp();
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

void FolderWatch::Add(const std::string& folder) {
    if (fd_ >= 0 && inotify_add_watch(fd_, folder.c_str(), kChangeEvents) < 0) {
        GiveUp();
    }
}

void FolderWatch::GiveUp() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool FolderWatch::MayHaveChanged() const {
    if (fd_ < 0) {
        return true;
    }
    struct pollfd ready = {fd_, POLLIN, 0};
    return poll(&ready, 1, 0) != 0;
}

}  // namespace TarnSchemaStore
