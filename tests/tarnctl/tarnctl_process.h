// Running the tarnctl binary of this build as a child process for tests: standard output and
// standard error go to files, read back when it has ended. Test-only; one thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace TarnTest {

struct TarnctlResult {
    int exitCode = -1;  // -1 when a signal ended it
    std::string out;
    std::string err;
};

class TarnctlProcess {
public:
    // Starts tarnctl with args in a session of its own, so that it leads its own process
    // group (the environment is the test's, with NO_COLOR unset). Several may run at once. Its
    // standard input is a pipe holding input, closed after it unless holdInput (then it stays open
    // until the process ends). With user, tarnctl runs as that user and its group, without
    // supplementary groups (through setpriv).
    explicit TarnctlProcess(const std::vector<std::string>& args, const std::string& input = "",
                            bool holdInput = false, std::optional<uid_t> user = std::nullopt);
    ~TarnctlProcess();
    TarnctlProcess(const TarnctlProcess&) = delete;
    TarnctlProcess& operator=(const TarnctlProcess&) = delete;

    // Sends SIGINT to tarnctl alone.
    void Interrupt();
    // Sends SIGINT to tarnctl's process group, as a Ctrl-C at its terminal would.
    void InterruptGroup();
    // Waits for the end and reads both streams.
    TarnctlResult Wait();
    // The file standard error goes to; readable while tarnctl runs.
    const std::string& ErrPath() const { return errPath_; }
    // Whether any process of tarnctl's session (its plugin runners, which lead process groups
    // of their own, say) is still there.
    bool GroupAlive() const;
    pid_t Pid() const { return pid_; }

private:
    std::string what_;  // the arguments, to name a run that hangs
    pid_t pid_ = 0;
    pid_t session_ = 0;
    int inputFd_ = -1;
    std::string outPath_;
    std::string errPath_;
};

// Runs tarnctl to its end, with input as its standard input.
TarnctlResult RunTarnctl(const std::vector<std::string>& args, const std::string& input = "");
// Runs tarnctl to its end as user (uid and gid), with no input.
TarnctlResult RunTarnctlAs(uid_t user, const std::vector<std::string>& args);

}  // namespace TarnTest
