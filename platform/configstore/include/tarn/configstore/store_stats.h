// Size and health figures of the configuration store, for the host's telemetry: row counts,
// the bytes of JSON text the row tables hold, and one metric string per table. Each call
// queries the calling thread's connection anew (docs/configstore.md, "Store statistics").
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

// Rows of the five row tables together.
long GetConfigRowCount();
// Bytes of value and auto-configuration text of the desired tables (desired and desired
// SmartNIC): what the next boot applies.
long GetVitalConfigSize();
// The same for the current user rows.
long GetUserConfigSize();
// The same for the default and SmartNIC rows, which the host can produce again.
long GetCachedConfigSize();
// "<table> rows=<n> bytes=<b>" for each row table, then "database bytes=<b>" (pages in use).
std::vector<std::string> GetConfigMetrics();

}  // namespace TarnConfigStore

TARN_PUBLIC_END
