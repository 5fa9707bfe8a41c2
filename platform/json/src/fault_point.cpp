#include "tarn/json/fault_point.h"

#ifdef TARN_FAULT_POINTS

#include <signal.h>

#include <atomic>
#include <mutex>

namespace TarnConfigStore {

namespace {

unsigned gArmed = 0;
unsigned gPassed = 0;

struct StepFault {
    unsigned armedCall = 0;
    unsigned calls = 0;
    int error = 0;
};

std::mutex gStepMutex;
StepFault gSteps[static_cast<int>(FaultStep::kCount)];
// Steps are counted from the first arm or clear on: a process that never arms one (a bench on
// a test build) passes its steps without taking the lock, which two threads reading rows would
// otherwise contend for at every row.
std::atomic<bool> gStepsWatched{false};

}  // namespace

void FaultPoint() {
    if (++gPassed == gArmed) {
        raise(SIGKILL);
    }
}

void ArmFaultPoint(unsigned number) {
    gArmed = number;
    gPassed = 0;
}

unsigned FaultPointsPassed() {
    return gPassed;
}

void FailStep(FaultStep step, int error, unsigned nth) {
    std::lock_guard<std::mutex> lock(gStepMutex);
    gSteps[static_cast<int>(step)] = StepFault{nth, 0, error};
    gStepsWatched.store(true, std::memory_order_release);
}

void ClearFailedSteps() {
    std::lock_guard<std::mutex> lock(gStepMutex);
    for (auto& fault : gSteps) {
        fault = StepFault{};
    }
    gStepsWatched.store(true, std::memory_order_release);
}

unsigned StepsPassed(FaultStep step) {
    std::lock_guard<std::mutex> lock(gStepMutex);
    return gSteps[static_cast<int>(step)].calls;
}

int InjectedFailure(FaultStep step) {
    if (!gStepsWatched.load(std::memory_order_acquire)) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(gStepMutex);
    StepFault& fault = gSteps[static_cast<int>(step)];
    return ++fault.calls == fault.armedCall ? fault.error : 0;
}

}  // namespace TarnConfigStore

#endif
