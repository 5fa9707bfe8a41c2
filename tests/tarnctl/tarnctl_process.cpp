#include "tarnctl_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "deadline.h"
#include "host_root_fixture.h"

extern char** environ;

namespace TarnTest {

namespace {

// Runs a command as another user and group, with no supplementary groups.
const char kSetpriv[] = "/usr/bin/setpriv";

// Output files of their own for each tarnctl a test runs at the same time.
std::string StreamPath(const char* stream) {
    static int started = 0;
    return TARN_BINARY_DIR "/tests/tarnctl/tarnctl." + std::to_string(started++ / 2) + "." + stream;
}

// The session of the process that /proc/<pid>/stat describes ("pid (name) state ppid pgrp
// session ..."), or 0.
pid_t SessionOf(const std::filesystem::path& stat) {
    std::ifstream file(stat);
    std::string text;
    std::getline(file, text);
    size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) {
        return 0;
    }
    std::istringstream rest(text.substr(nameEnd + 1));
    char state = 0;
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
    rest >> state >> parent >> group >> session;
    return session;
}

// Every process of session.
std::vector<pid_t> SessionMembers(pid_t session) {
    std::vector<pid_t> members;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (std::isdigit(static_cast<unsigned char>(name[0])) &&
            SessionOf(entry.path() / "stat") == session) {
            members.push_back(static_cast<pid_t>(std::stol(name)));
        }
    }
    return members;
}

}  // namespace

TarnctlProcess::TarnctlProcess(const std::vector<std::string>& args, const std::string& input,
                               bool holdInput, std::optional<uid_t> user)
    : outPath_(StreamPath("out")), errPath_(StreamPath("err")) {
    std::vector<std::string> command;
    if (user) {
        std::string id = std::to_string(*user);
        command = {kSetpriv, "--reuid=" + id, "--regid=" + id, "--clear-groups"};
    }
    command.push_back(TARNCTL_PATH);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : command) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    for (const std::string& arg : args) {
        what_ += (what_.empty() ? "" : " ") + arg;
    }
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
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    unsetenv("NO_COLOR");
    int error = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[0]);
    inputFd_ = pipeFds[1];
    if (error != 0) {
        close(inputFd_);
        throw std::runtime_error(std::string("cannot start ") + argv[0]);
    }
    session_ = pid_;
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
        kill(pid_, SIGKILL);
        Wait();
    }
    for (pid_t member : SessionMembers(session_)) {
        kill(member, SIGKILL);
    }
    unlink(outPath_.c_str());
    unlink(errPath_.c_str());
}

void TarnctlProcess::Interrupt() {
    kill(pid_, SIGINT);
}

void TarnctlProcess::InterruptGroup() {
    kill(-session_, SIGINT);
}

bool TarnctlProcess::GroupAlive() const {
    return !SessionMembers(session_).empty();
}

TarnctlResult TarnctlProcess::Wait() {
    int status = 0;
    Deadline deadline("tarnctl " + what_);
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

TarnctlResult RunTarnctlAs(uid_t user, const std::vector<std::string>& args) {
    return TarnctlProcess(args, "", false, user).Wait();
}

}  // namespace TarnTest
