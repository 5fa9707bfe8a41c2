// ConfigManagerTelemetryInfo: the library's provider for the host's telemetry collector: the
// store's size and health figures, the host's BIOS UUID, the telemetry export and the store's
// metrics under fixed names (docs/export.md, "Telemetry values"). Nothing is cached; any thread.
#pragma once

#include <string>
#include <unordered_map>

#include "deradidezivizoda/export.h"
#include "tarn/hostctl/telemetry.h"

namespace TarnConfigManager {

class TARN_EXPORT ConfigManagerTelemetryInfo {
public:
    // Considers the nine names in their fixed order, honouring the filter's include and
    // exclude lists, start index and limit; inserts (name, value) into data (an entry already
    // there is kept) and returns the running index after the last name considered. Exceptions
    // of the sources pass through; what was inserted before stays in data.
    static unsigned int GetTelemetryData(
        const HostCtl::System::TelemetryFilter& filter,
        std::unordered_map<std::string, HostCtl::System::TelemetryValue>& data, unsigned int index);
};

}  // namespace TarnConfigManager
