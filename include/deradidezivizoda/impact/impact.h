// Impact and ImpactWithCustomHandler: what applying a desired document would cost the host.
// They run the drift computation with an ImpactHandler, ask each impact plugin involved for
// its verdict, and combine the schemas' and the plugins' verdicts into an ImpactResult.
// Plugin failures and aborts come back in the result; other errors are thrown. Caller's
// thread; the task handle may also be polled by a plugin run's monitor thread.
#pragma once

#include <list>
#include <memory>
#include <string>

#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/export.h"
#include "deradidezivizoda/impact/impact_info.h"
#include "tarn/json/json.h"

namespace TarnConfigManager {

class ImpactHandler;
class TaskHandle;

struct TARN_EXPORT ImpactResult {
    bool compliant = true;
    IMPACT_TYPE impact = NO_IMPACT;
    // The summary message (reboot or maintenance mode), if any, first; then one per object.
    std::list<ImpactInfo> impactInfo;
    // Look here first: when its id is set, the other fields mean nothing.
    ErrorInfo error;
    QUICK_BOOT_STATUS quickBootStatus = QUICK_BOOT_UNSUPPORTED;
};

// Message ids of the impact plugin runs, reported as notifications and errors.
inline constexpr const char kImpactPluginStarted[] =
    "com.corvid.tarn.settings.impact.plugin.started";
inline constexpr const char kImpactPluginFinished[] =
    "com.corvid.tarn.settings.impact.plugin.finished";
inline constexpr const char kImpactPluginAborted[] =
    "com.corvid.tarn.settings.impact.plugin.aborted";

// desired must be a JSON object, possibly wrapped in "profile" (then only that member is
// compared); clusterContext goes to every plugin unchanged; task must not be empty. Progress
// is 20 after the drift computation and reaches 100 when every plugin has answered.
TARN_EXPORT ImpactResult Impact(rapidjson::Document& desired, const std::string& clusterContext,
                                std::shared_ptr<TaskHandle> task);
// The same with a handler the caller built and configured (its drift cache mode, say); the
// handler keeps what the drift computation put into it.
TARN_EXPORT ImpactResult ImpactWithCustomHandler(rapidjson::Document& desired,
                                                 const std::string& clusterContext,
                                                 ImpactHandler& handler,
                                                 std::shared_ptr<TaskHandle> task);

}  // namespace TarnConfigManager
