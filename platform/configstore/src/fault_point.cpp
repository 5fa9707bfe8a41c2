#include "tarn/configstore/fault_point.h"

#ifdef TARN_FAULT_POINTS

#include <signal.h>

namespace TarnConfigStore {

namespace {

unsigned gArmed = 0;
unsigned gPassed = 0;

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

}  // namespace TarnConfigStore

#endif
