#include "confirm_prompt.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "console.h"
#include "interrupt_guard.h"

namespace Tarnctl {

namespace {

// How often a wait for the answer looks at the Ctrl-C flag: SIGINT does not end the read,
// since the guard's handler restarts interrupted system calls.
constexpr int kInterruptPollMilliseconds = 100;

// One line of standard input without its newline; false at the end of input or on Ctrl-C.
bool ReadAnswer(std::string& answer) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    char byte = 0;
    while (!InterruptGuard::Interrupted()) {
        int ready = poll(&input, 1, kInterruptPollMilliseconds);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return !answer.empty();
        }
        if (byte == '\n') {
            return true;
        }
        answer.push_back(byte);
    }
    return false;
}

}  // namespace

bool Confirm(const Console& console, const std::string& question) {
    console.Ask(question + " [y/N] ");
    std::string answer;
    if (!ReadAnswer(answer)) {
        console.Ask("\n");
        return false;
    }
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return answer == "y" || answer == "yes";
}

}  // namespace Tarnctl
