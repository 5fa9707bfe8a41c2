#include "crash_child.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "deadline.h"
#include "tarn/json/fault_point.h"

namespace TarnTest {

ChildEnd RunInChild(unsigned point, const std::function<void()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        TarnConfigStore::ArmFaultPoint(point);
        try {
            body();
        } catch (...) {
            _exit(255);
        }
        _exit(static_cast<int>(TarnConfigStore::FaultPointsPassed()));
    }
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the child did not end within " << kLongestWait.count() << " seconds";
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFSIGNALED(status)) {
        return {WTERMSIG(status) == SIGKILL, -1};
    }
    return {false, WEXITSTATUS(status)};
}

}  // namespace TarnTest
