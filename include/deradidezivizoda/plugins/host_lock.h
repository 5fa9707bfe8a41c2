// HostLock: the one lock of the host that every plugin run, and every operation whose plugin
// runs must not interleave with another's, holds. Exclusive across processes (flock on a fixed
// file) and across threads; reentrant on the thread that holds it. Any thread may take it.
#pragma once

#include <sys/types.h>

#include <functional>

#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

// A guard: holds the lock from construction to destruction.
class TARN_EXPORT HostLock {
public:
    // Waits as long as another process or thread holds the lock. Throws ConfigManagerException
    // 3000 naming the lock file when it cannot be opened or is no regular file.
    HostLock();
    ~HostLock();
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;
};

// Told, on the waiting thread, when a request for the lock finds another process holding it;
// holder is that process's id, or 0 when it is not known.
using HostLockWaitObserver = std::function<void(pid_t holder)>;

// Sets the process's observer (an empty one: none). Called once per wait, before blocking.
TARN_EXPORT void SetHostLockWaitObserver(HostLockWaitObserver observer);

}  // namespace TarnConfigManager
