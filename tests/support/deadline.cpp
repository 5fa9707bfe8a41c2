#include "deadline.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace TarnTest {
namespace {

// The parent of a process, from /proc/<pid>/stat (the field after the parenthesised name,
// which may itself hold spaces and parentheses); -1 when it is gone.
pid_t ParentOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(stat.substr(close + 1));
    char state = 0;
    long parent = -1;
    fields >> state >> parent;
    return static_cast<pid_t>(parent);
}

// Every process below this one: runners, plugins and the programs they started. A hung child
// would otherwise keep the runner's output pipe open after this binary has ended.
std::vector<pid_t> Descendants() {
    std::vector<std::pair<pid_t, pid_t>> all;  // pid, parent
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            char* end = nullptr;
            long pid = std::strtol(entry->d_name, &end, 10);
            if (end != entry->d_name && *end == '\0') {
                all.emplace_back(static_cast<pid_t>(pid), ParentOf(static_cast<pid_t>(pid)));
            }
        }
        closedir(proc);
    }
    std::set<pid_t> below{getpid()};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, parent] : all) {
            if (below.count(parent) && below.insert(pid).second) {
                grew = true;
            }
        }
    }
    below.erase(getpid());
    return {below.begin(), below.end()};
}

// True when a byte arrives on fd within limit; an interrupted poll waits out the rest.
bool Signalled(int fd, std::chrono::seconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        int result = poll(&ready, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (result >= 0 || errno != EINTR) {
            return result > 0;
        }
    }
}

}  // namespace

Deadline::Deadline(std::string what, std::chrono::seconds limit) {
    if (pipe2(pipe_, O_CLOEXEC) != 0) {
        std::perror("Deadline: pipe2");
        std::abort();
    }
    watcher_ = std::thread([fd = pipe_[0], what = std::move(what), limit] {
        if (Signalled(fd, limit)) {
            return;
        }
        std::fprintf(stderr, "FAILED: %s did not end within %lld seconds; stopping the tests\n",
                     what.c_str(), static_cast<long long>(limit.count()));
        for (pid_t pid : Descendants()) {
            kill(pid, SIGKILL);
        }
        std::_Exit(1);
    });
}

Deadline::~Deadline() {
    char byte = 1;
    while (write(pipe_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    watcher_.join();
    close(pipe_[0]);
    close(pipe_[1]);
}

}  // namespace TarnTest
