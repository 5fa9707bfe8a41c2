// Fault points and injected failures, for tests of what a crash or a failed system call leaves
// behind. Builds with the test suites compile them in (TARN_FAULT_POINTS, defined for the JSON
// layer, the store, the library and every test that arms them); other builds compile each point
// and check to nothing.
// FaultPoint: a place in the store's writes (a file written or moved, an object written or
// removed, a commit) where a crash test kills the process with SIGKILL. One thread.
// Injected failures: the library's and the stand-ins' open, write, fsync, rename and SQLite
// steps go through the Faultable* calls below (a runner start asks InjectedFailure(kSpawn)); a test
// arms the nth call of a step to fail with an error of its choice. Any thread may pass a check; arm
// from the test's thread.
#pragma once

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

// The kinds of step a failure can be injected into. mkostemp counts as an open.
enum class FaultStep { kOpen, kWrite, kFsync, kRename, kSpawn, kSqlite, kCount };

#ifdef TARN_FAULT_POINTS
// Counts this point; at the armed one the process dies at once.
void FaultPoint();
// Arms the number'th point passed from now on (1 is the next one); 0 disarms.
void ArmFaultPoint(unsigned number);
// How many points were passed since the last ArmFaultPoint.
unsigned FaultPointsPassed();

// Makes the nth call of step from now on (1 is the next one) fail with error: an errno value,
// or an SQLite result code for kSqlite. Resets the step's count; one armed failure per step.
void FailStep(FaultStep step, int error, unsigned nth = 1);
// Disarms every step and resets every count.
void ClearFailedSteps();
// Calls of step since it was last armed or cleared (calls before the process first armed or
// cleared a step are not counted).
unsigned StepsPassed(FaultStep step);
// Counts a call of step; the armed error when this is the armed call, else 0.
int InjectedFailure(FaultStep step);
#else
inline void FaultPoint() {}
inline int InjectedFailure(FaultStep) {
    return 0;
}
#endif

// The system calls, each failing as the real one would (-1 and errno) when a failure is injected.
inline int FaultableOpen(const char* path, int flags, mode_t mode = 0) {
    if (int error = InjectedFailure(FaultStep::kOpen)) {
        errno = error;
        return -1;
    }
    return open(path, flags, mode);
}

inline int FaultableMkostemp(char* pathTemplate, int flags) {
    if (int error = InjectedFailure(FaultStep::kOpen)) {
        errno = error;
        return -1;
    }
    return mkostemp(pathTemplate, flags);
}

inline ssize_t FaultableWrite(int fd, const void* data, size_t size) {
    if (int error = InjectedFailure(FaultStep::kWrite)) {
        errno = error;
        return -1;
    }
    return write(fd, data, size);
}

inline int FaultableFsync(int fd) {
    if (int error = InjectedFailure(FaultStep::kFsync)) {
        errno = error;
        return -1;
    }
    return fsync(fd);
}

inline int FaultableRename(const char* from, const char* to) {
    if (int error = InjectedFailure(FaultStep::kRename)) {
        errno = error;
        return -1;
    }
    return rename(from, to);
}

}  // namespace TarnConfigStore

TARN_PUBLIC_END
