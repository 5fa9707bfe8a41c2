// A hang guard for tests that wait on a child process or a thread: when the awaited event
// does not come within the limit, the test binary says which wait hung, kills the processes
// it started and ends at once with a failure, instead of sitting until the test runner's own
// timeout. Test-only; create and destroy it on one thread.
#pragma once

#include <chrono>
#include <string>
#include <thread>

namespace TarnTest {

// No test waits longer than this for anything. Sanitizer builds run several times slower, so
// their limits are four times as long.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TARN_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(TARN_TEST_SANITIZED)
constexpr std::chrono::seconds kLongestWait{120};
#else
constexpr std::chrono::seconds kLongestWait{30};
#endif

class Deadline {
public:
    explicit Deadline(std::string what, std::chrono::seconds limit = kLongestWait);
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    // The destructor writes a byte into the pipe; the watcher polls its read end with the
    // limit, so the two threads share nothing but the pipe.
    int pipe_[2] = {-1, -1};
    std::thread watcher_;
};

}  // namespace TarnTest
