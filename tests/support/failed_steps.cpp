#include "failed_steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace TarnTest {

unsigned ForEachFailedStep(FaultStep step, int error, const std::function<void()>& reset,
                           const std::function<void()>& action,
                           const std::function<void(unsigned)>& check) {
    reset();
    TarnConfigStore::ClearFailedSteps();
    action();
    unsigned calls = TarnConfigStore::StepsPassed(step);
    EXPECT_GT(calls, 0u) << "the action makes no call of the step";
    for (unsigned n = 1; n <= calls; ++n) {
        SCOPED_TRACE("failing call " + std::to_string(n) + " of " + std::to_string(calls));
        reset();
        TarnConfigStore::FailStep(step, error, n);
        action();
        TarnConfigStore::ClearFailedSteps();
        check(n);
    }
    return calls;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace TarnTest
