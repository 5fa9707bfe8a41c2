// ChangeList: the differences of a compliance report (the library's ComplianceResult document,
// {"ADDS": [...], "DELETES": [...], "SETS": [...]}) as tarnctl shows them: each difference's
// change and path, then the desired and the host's value (secrets come masked from the
// library). `compliance` prints them as its result, `apply` and `impact --out` as the plan.
// Main thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "console.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "tarn/json/json.h"

namespace Tarnctl {

// How many differences of each change a report holds.
struct ChangeCounts {
    size_t added = 0;    // "ADDS"
    size_t deleted = 0;  // "DELETES"
    size_t changed = 0;  // "SETS"
    size_t Total() const { return added + deleted + changed; }
};

ChangeCounts CountChanges(const rapidjson::Value& report);

// "2 added, 1 changed, 0 deleted".
std::string ChangeCountText(const ChangeCounts& counts);

// The lines showing every difference of report, coloured for stream; keyed array elements
// are named by their key property's value in desired (InstanceLabels).
std::vector<std::string> ChangeLines(const Console& console, Stream stream,
                                     const rapidjson::Value& report,
                                     const rapidjson::Value& desired);

// The differences applying document would make to the host now: a compliance check of a copy
// of it (the check may add generated instance ids), its progress shown under title.
TarnConfigManager::ComplianceResult PlannedChanges(const Console& console, const char* title,
                                                   const rapidjson::Value& document);

}  // namespace Tarnctl
