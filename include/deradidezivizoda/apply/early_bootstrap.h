// The early bootstrap: early in boot, before the rest of the configuration, the host agent
// brings authentication and then networking (the groups "authentication", "network" and
// "network_lsw" of component "tarn") to a document, without a reboot. Caller's thread.
#pragma once

#include <string>
#include <vector>

#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/export.h"
#include "tarn/json/json.h"

namespace TarnConfigManager {

// 0 when the early groups are in place (applied now, or already matching the host); 1 when
// the document is invalid, needs a reboot, or a step failed (each logged). Other groups of
// the document are not applied. Parse, extraction and store errors pass to the caller.
TARN_EXPORT int ApplyEarlyBootstrapConfig(const std::string& text);

// {"tarn": {group: copy, ...}} of the listed groups that the document (or its "profile")
// has under "tarn"; {} when it has no "tarn".
TARN_EXPORT rapidjson::Document FilterGroups(const rapidjson::Value& document,
                                             const std::vector<std::string>& groups);

// Brings the host from current (which it takes over) to desired with every apply plugin, as
// RemediateHost does against the host's own configuration. An empty id means success.
TARN_EXPORT ErrorInfo RemediateProvided(rapidjson::Document& desired,
                                        rapidjson::Document&& current);

}  // namespace TarnConfigManager
