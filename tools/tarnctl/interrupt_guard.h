// InterruptGuard: Ctrl-C while tarnctl runs a command. While a guard lives, the first SIGINT
// sets the abort flag that task handles report (a library operation then stops before its
// next plugin), and from then on a watcher thread sends SIGTERM to every child process, the
// plugin runners, including any started later. So a run is stopped also where the library
// runs plugins without a task handle (extraction); the library cleans up after each run. A
// second SIGINT ends tarnctl at once. One guard at a time, made on the main thread; the flag
// may be read from any thread.
#pragma once

#include <thread>

namespace Tarnctl {

class Console;

class InterruptGuard {
public:
    // Installs the SIGINT handler and starts the watcher; the first SIGINT notes on standard
    // error (unless quiet) that the command is being stopped.
    explicit InterruptGuard(const Console& console);
    // Stops the watcher and restores the handler there was before.
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // True once SIGINT arrived; stays true for the rest of the process.
    static bool Interrupted();

private:
    std::thread watcher_;
};

// The exit status of a command that failed: kExitAborted after Ctrl-C, else kExitError.
int FailureExitCode();

}  // namespace Tarnctl
