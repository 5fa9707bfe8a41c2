// The lock file is opened on the first guard of the outermost hold and closed when it ends, so
// a process that holds nothing keeps no descriptor, and a holder that dies releases the lock
// with its descriptors. While held, the file names the holder's process id for waiters.
#include "deradidezivizoda/plugins/host_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "deradidezivizoda/core/throw_exception.h"
#include "plugins/run_folder.h"
#include "tarn/json/fault_point.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace TarnConfigManager {

namespace {

// The process's hold. depth and fd are touched only by the thread that owns mutex.
struct HoldState {
    std::recursive_mutex mutex;
    int depth = 0;
    int fd = -1;
};

// Never destroyed: a guard may still end while static objects are torn down.
HoldState& Hold() {
    static HoldState* hold = new HoldState;
    return *hold;
}

std::mutex observerMutex;
HostLockWaitObserver& Observer() {
    static HostLockWaitObserver* observer = new HostLockWaitObserver;
    return *observer;
}

[[noreturn]] void Fail(const std::string& message) {
    ThrowException<ConfigManagerException>(UNEXPECTED_ERROR, message);
}

[[noreturn]] void FailWithErrno(const char* what, int error) {
    Fail(std::string(what) + " " + TarnPaths::kHostLockFile + ": " + std::strerror(error));
}

[[noreturn]] void NotRegular() {
    Fail(std::string("The host lock ") + TarnPaths::kHostLockFile + " is not a regular file");
}

// Opens (creating) the lock file without following a link, in a folder that is none either;
// anything but a regular file at the path is refused. O_NONBLOCK keeps a planted FIFO from blocking
// the open.
int OpenLockFile() {
    const char* path = TarnPaths::kHostLockFile;
    MakeRunFolder(path);
    int fd = TarnConfigStore::FaultableOpen(
        path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        int error = errno;
        if (error == ELOOP || error == EISDIR) {
            NotRegular();
        }
        FailWithErrno("Cannot open the host lock", error);
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        NotRegular();
    }
    return fd;
}

// The process id the holder wrote, or 0 (none written yet, or not a number).
pid_t ReadHolder(int fd) {
    char text[32] = {};
    ssize_t length = pread(fd, text, sizeof(text) - 1, 0);
    if (length <= 0) {
        return 0;
    }
    char* end = nullptr;
    long pid = std::strtol(text, &end, 10);
    return pid > 0 && end != text ? static_cast<pid_t>(pid) : 0;
}

void NotifyWait(pid_t holder) {
    CSLogger::Log(2, "Waiting for the host lock held by process %d", static_cast<int>(holder));
    HostLockWaitObserver observer;
    {
        std::lock_guard<std::mutex> lock(observerMutex);
        observer = Observer();
    }
    if (observer) {
        observer(holder);
    }
}

// Only the holder writes the file, so a waiter reads either the holder's id or nothing.
void WriteHolder(int fd) {
    std::string text = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0 ||
        pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        int error = errno;
        CSLogger::Log(1, "Unable to note the holder in %s -- %s", TarnPaths::kHostLockFile,
                      std::strerror(error));
    }
}

// Takes the file lock, telling the observer once when another process holds it.
void LockFile(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            FailWithErrno("Cannot lock the host lock", errno);
        }
        NotifyWait(ReadHolder(fd));
        while (flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                FailWithErrno("Cannot lock the host lock", errno);
            }
        }
    }
    WriteHolder(fd);
}

int TakeFileLock() {
    int fd = OpenLockFile();
    try {
        LockFile(fd);
    } catch (...) {
        close(fd);
        throw;
    }
    return fd;
}

// Clears the holder's id before the close releases the lock.
void ReleaseFileLock(int fd) {
    if (ftruncate(fd, 0) != 0) {
        int error = errno;
        CSLogger::Log(1, "Unable to clear %s -- %s", TarnPaths::kHostLockFile,
                      std::strerror(error));
    }
    close(fd);
}

}  // namespace

HostLock::HostLock() {
    HoldState& hold = Hold();
    hold.mutex.lock();
    if (hold.depth == 0) {
        try {
            hold.fd = TakeFileLock();
        } catch (...) {
            hold.mutex.unlock();
            throw;
        }
    }
    ++hold.depth;
}

HostLock::~HostLock() {
    HoldState& hold = Hold();
    if (--hold.depth == 0) {
        ReleaseFileLock(hold.fd);
        hold.fd = -1;
    }
    hold.mutex.unlock();
}

void SetHostLockWaitObserver(HostLockWaitObserver observer) {
    std::lock_guard<std::mutex> lock(observerMutex);
    Observer() = std::move(observer);
}

}  // namespace TarnConfigManager
