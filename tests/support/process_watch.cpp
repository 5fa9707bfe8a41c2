#include "process_watch.h"

#include <signal.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace TarnTest {

bool ProcessGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText;
    std::string name;
    char state = 'X';
    stat >> pidText >> name >> state;  // the programs watched have no blank in their names
    return !stat || state == 'Z' || state == 'X';
}

bool WithinAMinute(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool GoneWithinAMinute(pid_t pid) {
    if (WithinAMinute([pid] { return ProcessGone(pid); })) {
        return true;
    }
    kill(pid, SIGKILL);
    return false;
}

}  // namespace TarnTest
