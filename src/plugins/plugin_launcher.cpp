#include "deradidezivizoda/plugins/plugin_launcher.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "deradidezivizoda/core/throw_exception.h"
#include "tarn/json/fault_point.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace TarnConfigManager {

namespace {

constexpr char kGroupArgument[] = "++group=host/kiln/hostcore/configManagerPlugin,stats";

// Raises code 3000 with a message made by Str_Asprintf, which it frees.
[[noreturn]] void ThrowUnexpected(char* message) {
    std::unique_ptr<char, detail::FreeDeleter> owned(message);
    ThrowException<ConfigManagerException>(UNEXPECTED_ERROR,
                                           static_cast<const char*>(owned ? owned.get() : ""));
}

const char* RunnerFor(const std::string& type) {
    return type == "python" ? TarnPaths::kPyPluginRunner : TarnPaths::kCppPluginRunner;
}

// What the spawned child needs; error is its errno when it could not start the runner. A
// child with memory of its own (a forked one) also writes that errno to reportFd.
struct SpawnRequest {
    const char* program;
    char** argv;
    char** envp;
    pid_t parent;
    int error;
    int reportFd;
};

#if defined(__SANITIZE_THREAD__)
// The thread sanitizer keeps its records of threads, locks and descriptors in the process's
// memory, and its wrappers of the child's system calls (close among them) would rewrite them
// in a child that shares that memory: its builds fork the runner instead.
constexpr bool kForkRunner = true;
#else
constexpr bool kForkRunner = false;
#endif

// The child's code runs on a stack the address sanitizer does not know, sharing the caller's
// thread state: it is left uninstrumented.
#define TARN_CHILD_CODE __attribute__((no_sanitize_address))

// Closes every descriptor from 3 up but keep (-1: none).
TARN_CHILD_CODE void CloseDescriptorsFrom3(int keep) {
#ifdef SYS_close_range
    if (keep < 3 && syscall(SYS_close_range, 3u, ~0u, 0u) == 0) {
        return;
    }
    if (keep >= 3 && (keep == 3 || syscall(SYS_close_range, 3u, keep - 1u, 0u) == 0) &&
        syscall(SYS_close_range, keep + 1u, ~0u, 0u) == 0) {
        return;
    }
#endif
    struct rlimit limit {};
    rlim_t last = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                      ? limit.rlim_cur
                      : 65536;
    for (rlim_t fd = 3; fd < last; ++fd) {
        if (static_cast<int>(fd) != keep) {
            close(static_cast<int>(fd));
        }
    }
}

// Ends a child that could not start the runner, its errno kept for the caller.
[[noreturn]] TARN_CHILD_CODE void FailStart(SpawnRequest* request, int error) {
    request->error = error;
    if (request->reportFd >= 0) {
        ssize_t written = write(request->reportFd, &error, sizeof(error));
        (void)written;  // the caller reads no errno and reports the child's exit status 127
    }
    _exit(127);
}

// The kernel's form of a signal action and mask (the C library's differ in size), so that the
// child resets signals with plain system calls: code the sanitizers or the C library wrap
// could touch the caller's thread state, which the child shares until execve.
struct KernelSigaction {
    void (*handler)(int);
    unsigned long flags;
    void (*restorer)();
    uint64_t mask;
};

// Runs in the child, on its own stack in the caller's memory, until execve: only system calls.
// Every signal goes back to its default action, the child leads a process group of its own and
// is sent SIGTERM when the thread that started it dies, then all signals are unblocked.
TARN_CHILD_CODE int StartRunner(void* data) {
    auto* request = static_cast<SpawnRequest*>(data);
    const KernelSigaction defaults{SIG_DFL, 0, nullptr, 0};
    for (long sig = 1; sig < NSIG; ++sig) {
        syscall(SYS_rt_sigaction, sig, &defaults, nullptr, sizeof(defaults.mask));
    }
    if (setpgid(0, 0) != 0 || prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) {
        FailStart(request, errno);
    }
    if (getppid() != request->parent) {  // the caller died before the death signal was set
        FailStart(request, ESRCH);
    }
    CloseDescriptorsFrom3(request->reportFd);
    const uint64_t none = 0;
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof(none));
    execve(request->program, request->argv, request->envp);
    FailStart(request, errno);
}

// Starts the child sharing the caller's memory until execve; it writes its errno into request.
pid_t CloneChild(SpawnRequest& request) {
    constexpr size_t kStackSize = 64 * 1024;
    std::unique_ptr<char[]> stack(new char[kStackSize]);
    return clone(StartRunner, stack.get() + kStackSize, CLONE_VM | CLONE_VFORK | SIGCHLD, &request);
}

// Forks the child; its errno comes back through a pipe that its execve closes.
pid_t ForkChild(SpawnRequest& request) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return -1;
    }
    request.reportFd = report[1];
    pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        StartRunner(&request);
    }
    int saved = errno;
    close(report[1]);
    request.reportFd = -1;
    if (child > 0) {
        int error = 0;
        ssize_t got;
        while ((got = read(report[0], &error, sizeof(error))) < 0 && errno == EINTR) {
        }
        request.error = got == static_cast<ssize_t>(sizeof(error)) ? error : 0;
    }
    close(report[0]);
    errno = saved;
    return child;
}

// Starts the runner with its argument vector, an empty environment and only descriptors 0, 1
// and 2. Signals the caller blocks or ignores are unblocked and reset for the child, so that
// an abort's SIGTERM reaches it. The runner gets a process group of its own: a Ctrl-C at the
// terminal reaches the caller alone, which stops the run through its abort path, and an abort
// stops the runner with every process it started. The runner dies with its caller: the kernel
// sends it SIGTERM when the calling thread ends, whatever ended it (a SIGKILL included), and
// the runner then stops its whole group. The child shares the caller's memory until it runs
// the program (as posix_spawn does), so a start costs no copy of the caller. Returns 0 or the
// error number.
int SpawnRunner(const char* program, pid_t* pid) {
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(kGroupArgument), nullptr};
    char* envp[] = {nullptr};
    if (int error = TarnConfigStore::InjectedFailure(TarnConfigStore::FaultStep::kSpawn)) {
        return error;
    }
    SpawnRequest request{program, argv, envp, getpid(), 0, -1};
    // No handler of the caller may run in the child while it shares the caller's memory.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pid_t child = kForkRunner ? ForkChild(request) : CloneChild(request);
    int error = child < 0 ? errno : 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (child > 0 && request.error != 0) {
        error = request.error;
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    } else if (child > 0) {
        *pid = child;
    }
    return error;
}

// Stops every process of the run's process group (the runner and whatever it started), and
// the runner itself should it not lead the group yet.
void KillRunGroup(pid_t pid) {
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
}

// Waits until the child has ended without reaping it, so its process id cannot be reused
// while the monitor thread may still signal it. Returns 0 or the error number.
int AwaitExit(pid_t pid) {
    siginfo_t info;
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// Owns the child until it is reaped: an exception that leaves ForkPlugin early kills and
// reaps it, so no run leaves a zombie behind.
class ChildProcess {
public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() {
        if (pid_ > 0) {
            KillRunGroup(pid_);
            int status;
            Reap(&status);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // waitpid, repeated while interrupted. Returns 0 or the error number.
    int Reap(int* status) {
        while (waitpid(pid_, status, 0) < 0) {
            if (errno != EINTR) {
                pid_ = 0;
                return errno;
            }
        }
        pid_ = 0;
        return 0;
    }
    // Gives up the child when it can no longer be waited for.
    void Release() { pid_ = 0; }

private:
    pid_t pid_;
};

// What the calling thread and the monitor thread share during one run.
struct RunWatch {
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable wake;
    // An exception from the monitor's IsAborted, raised again on the calling thread.
    std::exception_ptr failure;
};

// Asks the monitor for an abort. An exception from it is kept for the calling thread and
// ends the polling.
bool PollAbort(PluginMonitor& monitor, RunWatch& watch) {
    if (watch.failure) {
        return false;
    }
    try {
        return monitor.IsAborted();
    } catch (...) {
        watch.failure = std::current_exception();
        return false;
    }
}

void WatchRun(RunWatch& watch, pid_t pid, std::shared_ptr<PluginMonitor> monitor) {
    CSLogger::Log(2, "Starting plugin monitor thread");
    bool aborted = false;
    while (!watch.stop.load(std::memory_order_acquire) && !(aborted = PollAbort(*monitor, watch))) {
        std::unique_lock<std::mutex> lock(watch.mutex);
        watch.wake.wait_for(lock, std::chrono::seconds(1),
                            [&watch] { return watch.stop.load(std::memory_order_acquire); });
    }
    if (aborted) {
        CSLogger::Log(2, "Terminating plugin process: %d", pid);
        if (kill(-pid, SIGTERM) != 0) {
            int error = errno;
            CSLogger::Log(2, "Unable to terminate plugin process: %d -- %s", pid,
                          std::strerror(error));
        }
    }
    CSLogger::Log(2, "Stopping plugin monitor thread");
}

void RemoveRunFile(const char* path) {
    if (unlink(path) != 0 && errno != ENOENT) {
        int error = errno;
        CSLogger::Log(1, "Unable to remove %s -- %s", path, std::strerror(error));
    }
}

}  // namespace

PluginLauncher::PluginLauncher(const std::string& id, int version, const std::string& operation,
                               const std::vector<DesiredConfigInput>& inputs,
                               const std::string& type, std::string module)
    : PluginRequest(id, operation, module, version, inputs),
      id(id),
      operation(operation),
      type(type),
      start(std::chrono::steady_clock::now()) {
    Created(version, module);
}

PluginLauncher::PluginLauncher(const std::string& id, int version, const std::string& operation,
                               const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids,
                               const std::string& type, std::string module)
    : PluginRequest(id, operation, module, version, ids),
      id(id),
      operation(operation),
      type(type),
      start(std::chrono::steady_clock::now()) {
    Created(version, module);
}

PluginLauncher::PluginLauncher(
    const std::string& id, int version, const std::string& operation,
    const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& configs,
    const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& references,
    const std::string& type, std::string module)
    : PluginRequest(id, operation, module, version, configs, references),
      id(id),
      operation(operation),
      type(type),
      start(std::chrono::steady_clock::now()) {
    Created(version, module);
}

void PluginLauncher::Created(int version, const std::string& module) {
    if (type == "cpp" && module.empty()) {
        ThrowException<ConfigManagerException>(UNEXPECTED_ERROR,
                                               "Cpp plugin must specify the shared object name.");
    }
    CSLogger::Log(2, "Plugin Launcher created for id=%s, operation=%s, version=%d, type=%s",
                  id.c_str(), operation.c_str(), version, type.c_str());
}

PluginLauncher::~PluginLauncher() {
    RemoveRunFile(TarnPaths::kPluginInputFile);
    RemoveRunFile(TarnPaths::kPluginOutputFile);
    auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - start);
    CSLogger::Log(2, "Plugin %s completed operation %s in %lf seconds.", id.c_str(),
                  operation.c_str(), static_cast<double>(elapsed.count()) / 1e9);
}

void PluginLauncher::ForkPlugin(std::shared_ptr<PluginMonitor> monitor) {
    CSLogger::Log(2, "Forking plugin for id=%s", id.c_str());
    // The runner writes to the log file too and may outlive this process: nothing of ours
    // stays gathered while it runs.
    CSLogger::Unbuffered unbuffered;
    if (!monitor) {
        monitor = PluginMonitor::Dummy();
    }
    // An answer left by an earlier run must never be read as this run's.
    RemoveRunFile(TarnPaths::kPluginOutputFile);
    pid_t pid = 0;
    if (int error = SpawnRunner(RunnerFor(type), &pid)) {
        ThrowException<ConfigManagerException>(
            UNEXPECTED_ERROR, std::string("Failed to fork plugin runner. ") + std::strerror(error));
    }
    ChildProcess child(pid);
    RunWatch watch;
    std::thread monitorThread(WatchRun, std::ref(watch), pid, monitor);
    int error = AwaitExit(pid);
    {
        // Under the mutex, so the monitor cannot miss the wake-up between its check of the
        // flag and its wait: a run costs what the child costs, not the poll interval.
        std::lock_guard<std::mutex> lock(watch.mutex);
        watch.stop.store(true, std::memory_order_release);
        watch.wake.notify_one();
    }
    monitorThread.join();
    int status = 0;
    if (error == 0) {
        // The runner has ended but is not reaped, so its process group id is still its own:
        // nothing the plugin started outlives the run.
        kill(-pid, SIGKILL);
        error = child.Reap(&status);
    } else {
        child.Release();
    }
    if (error != 0) {
        ThrowUnexpected(
            Str_Asprintf("waitpid failed on pid=%d, error=%s", pid, std::strerror(error)));
    }
    if (watch.failure) {
        std::rethrow_exception(watch.failure);
    }
    if (monitor->IsAborted()) {
        ThrowUnexpected(Str_Asprintf("Config Manager plugin was aborted: %s", id.c_str()));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        ThrowUnexpected(Str_Asprintf("Config Manager plugin failed: %s, pid=%d, status=%s",
                                     id.c_str(), pid, std::strerror(WEXITSTATUS(status))));
    }
    if (WIFSIGNALED(status)) {
        ThrowUnexpected(
            Str_Asprintf("Config Manager plugin failed: %s, pid=%d, terminated with signal=%d",
                         id.c_str(), pid, WTERMSIG(status)));
    }
    CSLogger::Log(2, "Config Manager plugin=%s, finished successfully", id.c_str());
}

}  // namespace TarnConfigManager
