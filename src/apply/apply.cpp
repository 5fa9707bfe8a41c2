#include "deradidezivizoda/apply/apply.h"

#include "core/store_call.h"
#include "deradidezivizoda/apply/remediate_host.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/impact/impact.h"
#include "deradidezivizoda/impact/impact_handler.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "desired_document.h"
#include "impact/impact_handler_access.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/db_store.h"
#include "tarn/json/json_copy.h"
#include "tarn/json/json_text.h"
#include "tarn/json/kept_pool.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

// Reads CheckApply's drift cache into the handler; an empty text leaves the cache {}.
void LoadDriftCache(const std::string& text, ImpactHandler& handler) {
    if (text.empty()) {
        return;
    }
    rapidjson::Document& cache = handler.DriftCache();
    if (!TarnConfigStore::ParseJsonText(text, cache) || !cache.IsObject()) {
        CSLogger::Log(0, "Drift cache failed to initialize.");
        ThrowException<InvalidImpact>(INVALID_IMPACT);
    }
}

// The impact Apply goes on with: the old one, or none when the host no longer needs more.
IMPACT_TYPE AgreedImpact(IMPACT_TYPE old, IMPACT_TYPE current) {
    if (current == old) {
        return current;
    }
    if (current == NO_IMPACT) {
        CSLogger::Log(0,
                      "Impact reported by CheckApply() is no longer applicable, continue. "
                      "old_impact=%d, new_impact=%d",
                      old, NO_IMPACT);
        return NO_IMPACT;
    }
    CSLogger::Log(0,
                  "Impact reported by CheckApply() is no longer applicable, abort. "
                  "old_impact=%d, new_impact=%d",
                  old, current);
    ThrowException<InvalidImpact>(INVALID_IMPACT);
}

// The impact of the check result's document on the host now, computed on document (a copy of
// it made here in document's allocator, which may gain generated instance ids) with
// CheckApply's drift cache. The handler and its objects are gone when this returns, so that
// the apply tasks' walk reuses their memory.
ImpactResult ImpactNow(const CheckApplyResult& check, rapidjson::Document& document,
                       const std::shared_ptr<TaskHandle>& task) {
    TarnConfigStore::KeptPool cachePool;  // declared first: outlives the handler
    ImpactHandler handler;
    ImpactHandlerAccess::KeepDriftCacheIn(handler, cachePool.Get());
    handler.SetCacheMode(ImpactHandler::kCacheRead);
    LoadDriftCache(check.driftCache, handler);
    // The check result stays as CheckApply made it: the walks work on the copy.
    static_cast<rapidjson::Value&>(document) =
        TarnConfigStore::CopyJsonValue(check.desiredDocument, document.GetAllocator());
    ImpactHandlerAccess::ViewDesiredValues(handler);  // it dies before document
    return ImpactWithCustomHandler(document, check.clusterContext, handler, task);
}

}  // namespace

ApplyResult Apply(const std::shared_ptr<CheckApplyResult>& checkResult,
                  std::shared_ptr<TaskHandle> task) {
    CSLogger::Batch logBatch;
    HostLock hostLock;  // from the impact recomputation to the last apply plugin
    if (!checkResult) {
        CSLogger::Log(0, "Apply invoked with empty check apply result.");
        ThrowException<ConfigManagerException>(EMPTY_INPUT);
    }
    if (!task) {
        ThrowException<ConfigManagerException>(UNEXPECTED_ERROR, "Apply needs a task handle.");
    }
    // Held until Apply returns, so the caller's task accounts for this part of the work.
    std::shared_ptr<TaskHandle> heldTask = task->ChildTask(2);
    auto connection = HoldStoreForCall();
    // The working copy of the desired document, in memory the thread keeps between calls.
    TarnConfigStore::KeptPool documentPool;
    rapidjson::Document document(&documentPool.Get());
    ImpactResult impact = ImpactNow(*checkResult, document, task);
    ApplyResult result;
    if (!impact.error.id.empty()) {
        result.error = impact.error;
        return result;
    }
    if (impact.compliant) {
        CSLogger::Log(2, "Drift reported by CheckApply() is resolved.");
        return result;
    }
    IMPACT_TYPE agreed = AgreedImpact(checkResult->impact, impact.impact);
    if (agreed == REBOOT_REQUIRED) {
        StoreDesiredDocument(document);
        CSLogger::Log(0,
                      "ApplyConfig updated the host with the new desired configuration document, "
                      "host must be rebooted for it to take effect.");
        result.status = APPLY_REBOOT_PENDING;
        return result;
    }
    bool inMaintenanceMode = false;
    if (agreed == MAINTENANCE_MODE_REQUIRED) {
        inMaintenanceMode = IsMaintenanceModeEnabled();
        if (!inMaintenanceMode) {
            ThrowException<HostNotInMM>(NOT_IN_MAINT_MODE);
        }
    }
    TarnConfigStore::SetBootMode(TarnConfigStore::NORMAL);
    std::shared_ptr<TaskHandle> applyTask = task->ChildTask(2);
    result.error = RemediateHost(document, checkResult->clusterContext, applyTask, false);
    if (result.error.id.empty() && inMaintenanceMode) {
        result.status = APPLY_SUCCESS_IN_MAINTENANCE_MODE;
    }
    return result;
}

}  // namespace TarnConfigManager
