#include "deradidezivizoda/plugins/plugin_launcher.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "deradidezivizoda/core/throw_exception.h"
#include "tarn/configstore/fault_point.h"
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

// Starts the runner with its argument vector, an empty environment and only descriptors 0, 1
// and 2. Signals the caller blocks or ignores are unblocked and reset for the child, so that
// an abort's SIGTERM reaches it. The runner gets a process group of its own: a Ctrl-C at the
// terminal reaches the caller alone, which stops the run through its abort path. Returns 0 or
// the error number.
int SpawnRunner(const char* program, pid_t* pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    sigset_t unblocked;
    sigset_t defaults;
    sigemptyset(&unblocked);
    sigemptyset(&defaults);
    for (int sig = 1; sig < 32; ++sig) {
        sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigmask(&attributes, &unblocked);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(kGroupArgument), nullptr};
    char* envp[] = {nullptr};
    int error = TarnConfigStore::FaultableSpawn(pid, program, &actions, &attributes, argv, envp);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
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
            kill(pid_, SIGKILL);
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
        if (kill(pid, SIGTERM) != 0) {
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
