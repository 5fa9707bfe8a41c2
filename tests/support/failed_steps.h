// Running an action once for every call it makes of one kind of step (open, write, fsync,
// rename, posix_spawn, SQLite step), with that call failing, to test what each failure leaves
// behind. Needs TARN_FAULT_POINTS on the test target and on the code under test. Test-only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tarn/json/fault_point.h"

namespace TarnTest {

using TarnConfigStore::FaultStep;

// Runs reset and action once counting action's calls of step, then, for each call n, reset,
// action with call n failing with error, and check(n). Returns the count (never 0: an action
// that makes no such call fails the test). Leaves no failure armed.
unsigned ForEachFailedStep(FaultStep step, int error, const std::function<void()>& reset,
                           const std::function<void()>& action,
                           const std::function<void(unsigned)>& check);

// The names in folder (not recursive), sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace TarnTest
