#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "json_errors.h"
#include "kept_text.h"
#include "tarn/json/fault_point.h"
#include "tarn/json/json_text.h"

namespace TarnConfigStore {

namespace {

struct FileText;  // the place of the read buffer's kept text

std::string SystemReason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno) + ".";
}

// Makes a rename in path's folder survive a power cut, not only a crash of the process.
bool SyncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : path.substr(0, slash);
    int fd = FaultableOpen(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = FaultableFsync(fd) == 0;
    close(fd);
    return ok;
}

}  // namespace

bool ParseJsonFile(const char* path, rapidjson::Document& out, JsonParseError* error) {
    int fd = FaultableOpen(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return FailWithoutPlace(error, SystemReason("The file cannot be opened"), out);
    }
    KeptText<FileText> kept;
    std::string& text = kept.Get();
    struct stat info;
    if (fstat(fd, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            close(fd);
            return FailWithoutPlace(error, "The path names a folder, not a file.", out);
        }
        if (static_cast<uint64_t>(info.st_size) > kMaxJsonBytes) {
            close(fd);
            return FailTooLarge(error, static_cast<uint64_t>(info.st_size), out);
        }
        text.reserve(static_cast<size_t>(std::max<off_t>(info.st_size, 0)));
    }
    char chunk[65536];
    ssize_t count;
    while ((count = read(fd, chunk, sizeof(chunk))) != 0) {
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            std::string reason = SystemReason("The file cannot be read");
            close(fd);
            return FailWithoutPlace(error, std::move(reason), out);
        }
        text.append(chunk, static_cast<size_t>(count));
        if (text.size() > kMaxJsonBytes) {  // a file that grows, or a pipe
            close(fd);
            return FailTooLarge(error, text.size(), out);
        }
    }
    close(fd);
    if (text.empty()) {
        return FailWithoutPlace(error, "The file is empty.", out);
    }
    return ParseJsonText(text, out, error);
}

bool WriteFileAtomically(const std::string& path, const std::string& text, unsigned mode,
                         Durability durability, WriteStep* failedStep) {
    std::string temp = path + ".tmpXXXXXX";
    int fd = FaultableMkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) {
        if (failedStep) {
            *failedStep = WriteStep::kCreate;
        }
        return false;
    }
    bool ok = fchmod(fd, mode) == 0;
    size_t written = 0;
    while (ok && written < text.size()) {
        ssize_t n = FaultableWrite(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        written += ok ? static_cast<size_t>(n) : 0;
    }
    bool synced = durability == Durability::kSynced;
    ok = ok && (!synced || FaultableFsync(fd) == 0);
    int saved = errno;
    ok = (close(fd) == 0) && ok;
    if (synced) {
        FaultPoint();
    }
    if (ok && FaultableRename(temp.c_str(), path.c_str()) == 0 && (!synced || SyncFolderOf(path))) {
        if (synced) {
            FaultPoint();
        }
        return true;
    }
    saved = errno ? errno : saved;
    unlink(temp.c_str());
    if (failedStep) {
        *failedStep = WriteStep::kWrite;
    }
    errno = saved;
    return false;
}

bool MoveFileDurably(const std::string& from, const std::string& to) {
    FaultPoint();
    if (FaultableRename(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    // The move is done; flushing the folders only guards it against a power cut.
    SyncFolderOf(to);
    SyncFolderOf(from);
    FaultPoint();
    return true;
}

bool IdentifyFile(const char* path, FileIdentity& identity) {
    struct stat status {};
    if (stat(path, &status) != 0) {
        return false;
    }
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
    return true;
}

}  // namespace TarnConfigStore
