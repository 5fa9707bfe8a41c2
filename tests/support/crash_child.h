// Crash tests: running an action in a forked child that dies by SIGKILL at the n-th fault
// point of the store and the file writer, to see what a crash at that place leaves behind.
// Test-only; call from the test's thread.
#pragma once

#include <functional>

namespace TarnTest {

struct ChildEnd {
    bool killed = false;  // by SIGKILL, at the armed fault point
    int exitCode = -1;    // when it ended on its own: the fault points it passed
};

// Runs body in a child process with the n-th fault point armed (0: none); a body that throws
// ends the child with 255. A child that neither dies nor ends within the longest wait is
// killed and fails the test.
ChildEnd RunInChild(unsigned point, const std::function<void()>& body);

}  // namespace TarnTest
