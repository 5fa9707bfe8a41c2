// tarnctl export and tarnctl telemetry: the host's configuration as a desired document for
// the next hosts, and the values the host reports to the fleet's telemetry. Main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tarnctl {

class Console;

struct ExportOptions {
    bool telemetry = false;  // the telemetry view instead of the export view
    bool compact = false;    // one line of compact JSON instead of indented JSON
    std::string output;      // a file to write instead of standard output (empty: stdout)
};

struct TelemetryOptions {
    std::vector<std::string> names;     // only these names (empty: all)
    std::vector<std::string> excluded;  // never these names
    uint32_t start = 0;                 // skip the values whose index is below it
    uint32_t limit = UINT32_MAX;        // at most this many values
};

// The exported document on standard output or, with output, written atomically to that file
// (a line on standard error says where). kExitOk; library errors are thrown, a file that
// cannot be written is a CommandError.
int RunExport(const Console& console, const ExportOptions& options);

// A table of name, kind and value (a list value one element per line), or with --json
// {"values": {name: value, ...}, "next": index}. kExitOk; library errors are thrown.
int RunTelemetry(const Console& console, const TelemetryOptions& options);

}  // namespace Tarnctl
