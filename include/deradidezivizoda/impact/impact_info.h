// ImpactInfo: one impact message for the caller (a message id and its arguments in placeholder
// order), with the hash that lets a handler keep each message once. IMPACT_TYPE, the overall
// cost of applying a document, is shared with the impact plugins' results. Values; any thread.
#pragma once

#include <cstddef>
#include <list>
#include <string>

#include "deradidezivizoda/export.h"
#include "tarn/pluginsupport/impact_type.h"

namespace TarnConfigManager {

struct TARN_EXPORT ImpactInfo {
    std::string id;
    std::list<std::string> args;

    bool operator==(const ImpactInfo& other) const { return id == other.id && args == other.args; }
    bool operator!=(const ImpactInfo& other) const { return !(*this == other); }
};

struct TARN_EXPORT ImpactInfoHash {
    size_t operator()(const ImpactInfo& info) const;
};

// Message ids of the impact messages.
inline constexpr const char kImpactInfoAdd[] = "com.corvid.settings.impact.info.add";
inline constexpr const char kImpactInfoSet[] = "com.corvid.settings.impact.info.set";
inline constexpr const char kImpactInfoDelete[] = "com.corvid.settings.impact.info.delete";
inline constexpr const char kImpactInfoReboot[] = "com.corvid.settings.impact.info.reboot";
inline constexpr const char kImpactInfoMaintenanceMode[] =
    "com.corvid.settings.impact.info.maintenance-mode";

}  // namespace TarnConfigManager
