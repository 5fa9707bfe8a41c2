#include "interrupt_guard.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "console.h"
#include "exit_codes.h"

namespace Tarnctl {

namespace {

// What the handler touches: a lock-free flag and plain values set before it is installed.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the SIGINT handler needs a plain flag");
bool interruptNote = true;
struct sigaction previousAction;

const char kInterruptNote[] = "\ntarnctl: interrupted, stopping (Ctrl-C again to quit now)\n";

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
}

}  // namespace

InterruptGuard::InterruptGuard(const Console& console) {
    interruptNote = !console.Quiet();
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousAction);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &previousAction, nullptr);
}

bool InterruptGuard::Interrupted() {
    return interrupted.load();
}

int FailureExitCode() {
    return InterruptGuard::Interrupted() ? kExitAborted : kExitError;
}

}  // namespace Tarnctl
