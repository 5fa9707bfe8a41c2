// What the plugin run, apply and boot benches share: a keyed key of 1 000 instances on the
// host and in a document, running a plugin runner directly on a prepared request (the bare
// run), and the wall and CPU laps that split a library call's time into plugin processes and
// the rest.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

namespace TarnBench {

constexpr int kObjects = 1000;

// A document holding kObjects instances {"name": "p<i>", "speed": speed} of the key.
std::string KeyedDocument(const std::string& component, const std::string& group,
                          const std::string& key, int speed);

// Stores the same kObjects instances at speed 1000 as the key's current configuration.
void PutCurrentInstances(const std::string& component, const std::string& group,
                         const std::string& key);

// Runs the runner once the way the library starts it; true when it exited with 0.
bool SpawnAndWait(const char* runner);

// The requests the library writes for the native runner while run() runs, in order: for that
// call the runner is a script that copies each request before it starts the real runner,
// which is put back afterwards.
std::vector<std::string> RecordedCppRequests(const std::function<void()>& run);

// Wall and CPU seconds of timed stretches, summed: each taken before and after one. self
// counts this process's CPU time, selfSystem the kernel's part of it, selfFaults its minor
// page faults (the heap touched afresh).
struct Lap {
    double wall = 0, self = 0, children = 0, selfSystem = 0, selfFaults = 0;

    static Lap Now();
    void Add(const Lap& start, const Lap& end);
};

// Runs the runner once on each request, writing the request file before and removing the
// request and result files after each run, as the library does. The runs alone are added to
// laps when given; under state, only they are timed. False when a run fails.
bool BareRuns(const char* runner, const std::vector<std::string>& requests, Lap* laps,
              benchmark::State* state = nullptr);

// The counters of a bench that timed a library call (library) and the bare runs of its
// requests (bare): the bare runs' wall time per iteration in ms (under bareCounter),
// outside_pct (the library's wall time less the bare runs', over the former) and
// outside_cpu_pct (this process's CPU time over that plus its children's, the plugin
// processes, during the library call: robust against other load on the machine), and per
// iteration of the library call the kernel's CPU time in this process (self_sys_ms) and this
// process's minor page faults (self_faults).
void ReportOutside(benchmark::State& state, const Lap& library, const Lap& bare,
                   const char* bareCounter);

}  // namespace TarnBench
