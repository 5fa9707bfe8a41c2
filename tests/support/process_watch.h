// Watching processes a test did not start itself (a plugin's children, a runner whose caller
// died): whether one is gone, waiting until it is. Test-only.
#pragma once

#include <sys/types.h>

#include <functional>

namespace TarnTest {

// Whether the process has ended (a zombie that no one reaped counts as ended) or never was.
bool ProcessGone(pid_t pid);

// Polls done until it holds, a minute at most; whether it came to hold.
bool WithinAMinute(const std::function<bool()>& done);

// Waits (a minute at most) until the process is gone; SIGKILLs it when it is not, so a failed
// test leaves nothing running. Whether it went by itself.
bool GoneWithinAMinute(pid_t pid);

}  // namespace TarnTest
