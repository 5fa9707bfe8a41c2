// The telemetry collector's types: one value a component reports (TelemetryValue) and the
// collector's filter and paging of the names it asks for (TelemetryFilter). Plain values.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace HostCtl {
namespace System {

using TelemetryValue =
    std::variant<bool, long, std::string, std::vector<long>, std::vector<std::string>, double,
                 unsigned long, std::vector<unsigned long>>;

struct TelemetryFilter {
    // Values whose running index is below it are counted but not produced.
    uint32_t startIndex = 0;
    // Production stops when the output holds exactly this many entries.
    uint32_t limit = UINT32_MAX;
    // When not empty, only these names are considered.
    std::vector<std::string> includeNames;
    // Names never considered.
    std::vector<std::string> excludeNames;
};

}  // namespace System
}  // namespace HostCtl

TARN_PUBLIC_END
