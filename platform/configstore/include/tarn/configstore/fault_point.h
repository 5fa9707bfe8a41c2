// FaultPoint: a place in the store's writes (a file written or moved, an object written or
// removed, a commit) where a crash test may kill the process. Builds with the test suites
// (the store compiled with TARN_FAULT_POINTS; a crash test defines it too to arm them) count
// the points a process passes and kill it with SIGKILL at the one armed by ArmFaultPoint;
// other builds compile every point to nothing. One thread.
#pragma once

namespace TarnConfigStore {

#ifdef TARN_FAULT_POINTS
// Counts this point; at the armed one the process dies at once.
void FaultPoint();
// Arms the number'th point passed from now on (1 is the next one); 0 disarms.
void ArmFaultPoint(unsigned number);
// How many points were passed since the last ArmFaultPoint.
unsigned FaultPointsPassed();
#else
inline void FaultPoint() {}
#endif

}  // namespace TarnConfigStore
