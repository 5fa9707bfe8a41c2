// CheckApply, the first step of applying a desired document: it computes the impact and, when
// the host is not compliant, freezes in a CheckApplyResult everything Apply needs later: the
// document, the impact shown to the user, the cluster context and the drift cache. The result
// never changes after creation, so any thread may read it and Apply may take it more than once.
#pragma once

#include <memory>
#include <string>

#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/export.h"
#include "deradidezivizoda/impact/impact_info.h"
#include "tarn/json/json.h"

namespace TarnConfigManager {

class TaskHandle;

class TARN_EXPORT CheckApplyResult {
public:
    // Deep-copies document; timestamp is the current time.
    CheckApplyResult(IMPACT_TYPE impact, const rapidjson::Document& document,
                     QUICK_BOOT_STATUS quickBootStatus, const std::string& clusterContext,
                     const std::string& driftCache);
    CheckApplyResult(const CheckApplyResult&) = delete;
    CheckApplyResult& operator=(const CheckApplyResult&) = delete;

    const IMPACT_TYPE impact;
    // The whole document given to CheckApply, "profile" wrapper included.
    const rapidjson::Document desiredDocument;
    // Seconds since the Unix epoch at creation, in decimal; for the caller only.
    const std::string timestamp;
    const QUICK_BOOT_STATUS quickBootStatus;
    const std::string clusterContext;
    // The impact handler's drift cache as JSON text.
    const std::string driftCache;
};

// Empty when the host already matches document. Throws a copy of the impact check's ErrorInfo
// when an impact plugin failed or task was aborted; other errors pass through as exceptions.
// The walk may add generated instance ids to document.
TARN_EXPORT std::shared_ptr<CheckApplyResult> CheckApply(rapidjson::Document& document,
                                                         const std::string& clusterContext,
                                                         std::shared_ptr<TaskHandle> task);

}  // namespace TarnConfigManager
