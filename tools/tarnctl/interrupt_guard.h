// InterruptGuard: Ctrl-C while tarnctl runs a command. While a guard lives, the first SIGINT
// only sets a flag: operations with a task handle see it through IsAborted and their monitor
// thread stops the running plugin with SIGTERM; a plugin started from a terminal also gets
// the SIGINT itself. A second SIGINT ends tarnctl at once. One guard at a time, made on the
// main thread; the flag may be read from any thread.
#pragma once

namespace Tarnctl {

class Console;

class InterruptGuard {
public:
    // Installs the SIGINT handler; the first SIGINT notes on standard error (unless quiet)
    // that the run is being stopped.
    explicit InterruptGuard(const Console& console);
    // Restores the handler there was before.
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // True once SIGINT arrived; stays true for the rest of the process.
    static bool Interrupted();
};

// The exit status of a command that failed: kExitAborted after Ctrl-C, else kExitError.
int FailureExitCode();

}  // namespace Tarnctl
