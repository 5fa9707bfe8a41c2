#include "tarnctl_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "host_root_fixture.h"

extern char** environ;

namespace TarnTest {

TarnctlProcess::TarnctlProcess(const std::vector<std::string>& args, const std::string& input,
                               bool holdInput)
    : outPath_(TARN_BINARY_DIR "/tests/tarnctl/tarnctl.out"),
      errPath_(TARN_BINARY_DIR "/tests/tarnctl/tarnctl.err") {
    std::vector<char*> argv{const_cast<char*>(TARNCTL_PATH)};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make the input pipe of tarnctl");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    unsetenv("NO_COLOR");
    int error = posix_spawn(&pid_, TARNCTL_PATH, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[0]);
    inputFd_ = pipeFds[1];
    if (error != 0) {
        close(inputFd_);
        throw std::runtime_error("cannot start " TARNCTL_PATH);
    }
    group_ = pid_;
    // Test inputs are a few bytes: they fit the pipe without a reader.
    ssize_t written = write(inputFd_, input.data(), input.size());
    (void)written;
    if (!holdInput) {
        close(inputFd_);
        inputFd_ = -1;
    }
}

TarnctlProcess::~TarnctlProcess() {
    if (pid_ > 0) {
        kill(-group_, SIGKILL);
        Wait();
    }
}

void TarnctlProcess::Interrupt() {
    kill(pid_, SIGINT);
}

bool TarnctlProcess::GroupAlive() const {
    return kill(-group_, 0) == 0;
}

TarnctlResult TarnctlProcess::Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
    if (inputFd_ >= 0) {
        close(inputFd_);
        inputFd_ = -1;
    }
    TarnctlResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(outPath_);
    result.err = ReadFile(errPath_);
    return result;
}

TarnctlResult RunTarnctl(const std::vector<std::string>& args, const std::string& input) {
    return TarnctlProcess(args, input).Wait();
}

}  // namespace TarnTest
