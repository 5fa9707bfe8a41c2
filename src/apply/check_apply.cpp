#include "deradidezivizoda/apply/check_apply.h"

#include <ctime>

#include "deradidezivizoda/impact/impact.h"
#include "deradidezivizoda/impact/impact_handler.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "impact/impact_handler_access.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/json_copy.h"
#include "tarn/json/kept_pool.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

CheckApplyResult::CheckApplyResult(IMPACT_TYPE impact, const rapidjson::Document& document,
                                   QUICK_BOOT_STATUS quickBootStatus,
                                   const std::string& clusterContext, const std::string& driftCache)
    : impact(impact),
      desiredDocument(TarnConfigStore::CopyJsonDocument(document)),
      timestamp(std::to_string(static_cast<unsigned long long>(std::time(nullptr)))),
      quickBootStatus(quickBootStatus),
      clusterContext(clusterContext),
      driftCache(driftCache) {}

std::shared_ptr<CheckApplyResult> CheckApply(rapidjson::Document& document,
                                             const std::string& clusterContext,
                                             std::shared_ptr<TaskHandle> task) {
    CSLogger::Batch logBatch;
    HostLock hostLock;
    CSLogger::Log(3, "CheckApply operation invoked.");
    TarnConfigStore::KeptPool cachePool;  // the drift cache's, until its text is written
    ImpactHandler handler;
    ImpactHandlerAccess::KeepDriftCacheIn(handler, cachePool.Get());
    handler.SetCacheMode(ImpactHandler::kCacheWrite);
    ImpactHandlerAccess::ViewDesiredValues(handler);  // it dies before document
    ImpactResult impact = ImpactWithCustomHandler(document, clusterContext, handler, task);
    if (!impact.error.id.empty()) {
        throw ErrorInfo(impact.error);
    }
    std::shared_ptr<CheckApplyResult> result;
    if (!impact.compliant) {
        std::string driftCache;
        ConfigStoreDocument::SerializeValue(handler.DriftCache(), driftCache);
        result = std::make_shared<CheckApplyResult>(impact.impact, document, impact.quickBootStatus,
                                                    clusterContext, driftCache);
    }
    CSLogger::Log(3, "CheckApply operation completed.");
    return result;
}

}  // namespace TarnConfigManager
