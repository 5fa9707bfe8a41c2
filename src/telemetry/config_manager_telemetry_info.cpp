#include "deradidezivizoda/telemetry/config_manager_telemetry_info.h"

#include <algorithm>
#include <functional>

#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/extract/export_document.h"
#include "deradidezivizoda/telemetry/ramdisk_stats.h"
#include "tarn/configstore/store_stats.h"

namespace TarnConfigManager {

namespace {

using HostCtl::System::TelemetryValue;

struct TelemetrySource {
    const char* name;
    TelemetryValue (*read)();
};

template <typename T, T (*Read)()>
TelemetryValue As() {
    return TelemetryValue(Read());
}

// The names in the order they are considered.
const TelemetrySource kSources[] = {
    {"configManagerRowCount", As<long, TarnConfigStore::GetConfigRowCount>},
    {"configManagerRamDiskUsage", As<long, GetRamDiskUsage>},
    {"configManagerRamDiskReservedSize", As<long, GetReservedRamdiskSize>},
    {"configManagerTotalVitalConfigSize", As<long, TarnConfigStore::GetVitalConfigSize>},
    {"configManagerTotalUserConfigSize", As<long, TarnConfigStore::GetUserConfigSize>},
    {"configManagerTotalCachedConfigSize", As<long, TarnConfigStore::GetCachedConfigSize>},
    {"configManagerTarnBiosUuid", As<std::string, GetBIOSUUID>},
    {"configManagerTarnConfig", As<std::string, ExportDocumentTelemetry>},
    {"configManagerConfigStoreMetrics",
     As<std::vector<std::string>, TarnConfigStore::GetConfigMetrics>},
};

bool Holds(const std::vector<std::string>& names, const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

unsigned int ConfigManagerTelemetryInfo::GetTelemetryData(
    const HostCtl::System::TelemetryFilter& filter,
    std::unordered_map<std::string, TelemetryValue>& data, unsigned int index) {
    for (const TelemetrySource& source : kSources) {
        if (data.size() == filter.limit) {
            return index;
        }
        if (Holds(filter.excludeNames, source.name) ||
            (!filter.includeNames.empty() && !Holds(filter.includeNames, source.name))) {
            continue;
        }
        if (filter.startIndex > index) {
            ++index;
            continue;
        }
        data.emplace(source.name, source.read());
        ++index;
    }
    return index;
}

}  // namespace TarnConfigManager
