// The host lock: exclusive across processes and threads, reentrant on its thread, waited for
// with the holder named, released by a holder that dies, and refused when its path holds
// anything but a regular file. Waits on children run under an alarm, so a hang fails fast.
#include "deradidezivizoda/plugins/host_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "deadline.h"
#include "expect_store_error.h"
#include "host_root_fixture.h"
#include "tarn/paths.h"

namespace TarnTest {
namespace {

using TarnConfigManager::HostLock;

// Whether anyone holds the lock: a descriptor of its own conflicts even with this process.
bool LockIsHeld() {
    int fd = open(TarnPaths::kHostLockFile, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

// Exit status of pid, or -1 when a signal ended it.
int Reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class HostLockTest : public HostRootTest {
protected:
    void SetUp() override { HostRootTest::SetUp(); }
    void TearDown() override { TarnConfigManager::SetHostLockWaitObserver(nullptr); }

    // Every test waits on threads or children that take the lock.
    Deadline deadline{::testing::UnitTest::GetInstance()->current_test_info()->name()};
};

// Inside the lock: a marker that must not exist yet, and a counter updated by read and write,
// so that any overlap of two holders shows as a failed marker or a lost count.
int CountUnderLock(int rounds) {
    const std::string marker = RootPath("var/inside");
    const std::string counter = RootPath("var/counter");
    for (int round = 0; round < rounds; ++round) {
        HostLock lock;
        int fd = open(marker.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0) {
            return 3;
        }
        close(fd);
        std::string text = PathExists(counter) ? ReadFile(counter) : "0";
        WriteFile(counter, std::to_string(std::stoi(text) + 1));
        unlink(marker.c_str());
    }
    return 0;
}

TEST_F(HostLockTest, ProcessesAreSerialised) {
    constexpr int kProcesses = 4;
    constexpr int kRounds = 50;
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            _exit(CountUnderLock(kRounds));
        }
        children.push_back(pid);
    }
    for (pid_t child : children) {
        EXPECT_EQ(Reap(child), 0) << "two processes held the lock at once";
    }
    EXPECT_EQ(ReadFile(RootPath("var/counter")), std::to_string(kProcesses * kRounds));
    EXPECT_FALSE(LockIsHeld());
}

TEST_F(HostLockTest, ReentrantOnItsThreadAndReleasedByTheOutermostGuard) {
    {
        HostLock outer;
        {
            HostLock inner;
            EXPECT_TRUE(LockIsHeld());
        }
        EXPECT_TRUE(LockIsHeld());
        EXPECT_EQ(ReadFile(TarnPaths::kHostLockFile), std::to_string(getpid()) + "\n");
        struct stat status {};
        ASSERT_EQ(lstat(TarnPaths::kHostLockFile, &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        // The descriptor must not reach a plugin runner: every one open on the file closes on
        // exec.
        for (int fd = 3; fd < 1024; ++fd) {
            char target[4096] = {};
            std::string link = "/proc/self/fd/" + std::to_string(fd);
            ssize_t length = readlink(link.c_str(), target, sizeof(target) - 1);
            if (length > 0 && std::string(target, length) == TarnPaths::kHostLockFile) {
                EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
            }
        }
    }
    EXPECT_FALSE(LockIsHeld());
    EXPECT_EQ(ReadFile(TarnPaths::kHostLockFile), "");
}

TEST_F(HostLockTest, ThreadsAreSerialised) {
    std::atomic<int> inside{0};
    std::atomic<int> mostInside{0};
    auto work = [&] {
        for (int round = 0; round < 200; ++round) {
            HostLock lock;
            HostLock again;
            int now = ++inside;
            mostInside = std::max(mostInside.load(), now);
            std::this_thread::yield();
            --inside;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back(work);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mostInside.load(), 1);
    EXPECT_FALSE(LockIsHeld());
}

TEST_F(HostLockTest, WaiterIsToldTheHolderOnceAndADeadHolderReleases) {
    int ready[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        HostLock lock;
        ssize_t written = write(ready[1], "h", 1);
        (void)written;
        for (;;) {
            pause();
        }
    }
    close(ready[1]);
    // A failed assertion must not leave the holder behind.
    std::unique_ptr<pid_t, void (*)(pid_t*)> killer(&holder, [](pid_t* pid) {
        if (kill(*pid, SIGKILL) == 0) {
            Reap(*pid);
        }
    });
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the holder never took the lock";
    close(ready[0]);

    std::vector<pid_t> told;
    TarnConfigManager::SetHostLockWaitObserver([&told](pid_t pid) {
        told.push_back(pid);
        kill(pid, SIGKILL);
    });
    {
        HostLock lock;  // returns only once the killed holder has let go
        EXPECT_EQ(ReadFile(TarnPaths::kHostLockFile), std::to_string(getpid()) + "\n");
    }
    EXPECT_EQ(told, std::vector<pid_t>{holder});
    EXPECT_EQ(Reap(holder), -1);
    killer.release();
    {
        HostLock free;  // a free lock is taken without telling anyone
    }
    EXPECT_EQ(told.size(), 1u);
}

TEST_F(HostLockTest, RefusesALinkOrAFolderAtItsPath) {
    const std::string target = RootPath("var/lock-target");
    ASSERT_EQ(symlink(target.c_str(), TarnPaths::kHostLockFile), 0);
    ExpectStoreError(3000, [] { HostLock lock; },
                     {std::string(TarnPaths::kHostLockFile), "is not a regular file"});
    EXPECT_FALSE(PathExists(target)) << "the link was followed";
    unlink(TarnPaths::kHostLockFile);

    ASSERT_EQ(mkdir(TarnPaths::kHostLockFile, 0700), 0);
    ExpectStoreError(3000, [] { HostLock lock; },
                     {std::string(TarnPaths::kHostLockFile), "is not a regular file"});
    rmdir(TarnPaths::kHostLockFile);

    // A refusal leaves the process free to take the lock once the path is mended.
    std::thread other([] { HostLock lock; });
    other.join();
    HostLock lock;
    EXPECT_TRUE(LockIsHeld());
}

}  // namespace
}  // namespace TarnTest
