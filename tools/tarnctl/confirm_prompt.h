// ConfirmPrompt: the yes/no question tarnctl asks before it changes the host. The question goes
// to standard error (also with --quiet, since the user must answer it) and the answer is one
// line of standard input, so `echo y | tarnctl ...` works. Main thread, under an InterruptGuard.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

// True when the answer is "y" or "yes" (any case). An empty answer, any other text, the end of
// standard input and Ctrl-C (InterruptGuard::Interrupted() tells which) are a no.
bool Confirm(const Console& console, const std::string& question);

}  // namespace Tarnctl
