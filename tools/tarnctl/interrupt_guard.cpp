#include "interrupt_guard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "console.h"
#include "exit_codes.h"

namespace Tarnctl {

namespace {

// What the handler touches: a lock-free flag, the watcher's pipe and a value set before it
// is installed.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the SIGINT handler needs a plain flag");
bool interruptNote = true;
int wakePipe[2] = {-1, -1};
struct sigaction previousAction;

const char kInterruptNote[] = "\ntarnctl: interrupted, stopping (Ctrl-C again to quit now)\n";
constexpr char kInterrupt = 'i';
constexpr char kQuit = 'q';
// How often the watcher looks for plugin runners once interrupted.
constexpr int kWatchMilliseconds = 100;

void Wake(char byte) {
    ssize_t ignored = write(wakePipe[1], &byte, 1);
    (void)ignored;
}

void OnInterrupt(int) {
    if (interrupted.exchange(true)) {
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
        return;
    }
    if (interruptNote) {
        ssize_t ignored = write(STDERR_FILENO, kInterruptNote, sizeof(kInterruptNote) - 1);
        (void)ignored;
    }
    Wake(kInterrupt);
}

// The parent process id in /proc/<pid>/stat ("pid (name) state ppid ..."), or 0.
pid_t ParentOf(const std::filesystem::path& process) {
    std::ifstream stat(process / "stat");
    std::string text;
    std::getline(stat, text);
    size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) {
        return 0;
    }
    std::istringstream rest(text.substr(nameEnd + 1));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    return parent;
}

// SIGTERM to every child of this process: tarnctl starts none itself, so they are plugin runners.
void TerminateChildren() {
    const pid_t self = getpid();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (!std::isdigit(static_cast<unsigned char>(name[0]))) {
            continue;
        }
        if (ParentOf(entry.path()) == self) {
            kill(static_cast<pid_t>(std::stol(name)), SIGTERM);
        }
    }
}

// Waits for Ctrl-C, then stops every plugin runner until the guard ends.
void WatchForInterrupt() {
    char byte = 0;
    while (read(wakePipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
    if (byte != kInterrupt) {
        return;
    }
    pollfd quit{wakePipe[0], POLLIN, 0};
    do {
        TerminateChildren();
    } while (poll(&quit, 1, kWatchMilliseconds) == 0 || (quit.revents & POLLIN) == 0);
}

}  // namespace

InterruptGuard::InterruptGuard(const Console& console) {
    interruptNote = !console.Quiet();
    if (pipe2(wakePipe, O_CLOEXEC) == 0) {
        watcher_ = std::thread(WatchForInterrupt);
    }
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousAction);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &previousAction, nullptr);
    if (watcher_.joinable()) {
        Wake(kQuit);
        watcher_.join();
        close(wakePipe[0]);
        close(wakePipe[1]);
    }
}

bool InterruptGuard::Interrupted() {
    return interrupted.load();
}

int FailureExitCode() {
    return InterruptGuard::Interrupted() ? kExitAborted : kExitError;
}

}  // namespace Tarnctl
