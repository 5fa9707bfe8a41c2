// Validate: checks a desired configuration document before it is applied: against its JSON
// schema (optional), then with every validation plugin that serves its keys. Runs on the
// caller's thread, plugins one at a time; the caller owns the documents and the result, and
// its TaskHandle sees progress, notifications and abort checks (also from a monitor thread).
#pragma once

#include <memory>
#include <string>

#include "deradidezivizoda/export.h"
#include "deradidezivizoda/validation/validation_result.h"

namespace TarnConfigManager {

class TaskHandle;

// Validates document["profile"] (or the whole document when it has no "profile") and fills
// result (expected empty): per-path errors of both phases, or a pluginErr when a plugin run
// failed or the task was aborted (path errors are then dropped). Plugins whose keys failed
// the schema, or whose keys the document does not hold, are not run. Throws only for a
// document that is not an object or malformed validator output (ConfigStoreException 1082)
// and when the validator, the schema store or the plugin manager throws; result is then
// untouched. task must not be empty.
TARN_EXPORT void Validate(const rapidjson::Document& document, const rapidjson::Document& schema,
                          const std::string& clusterContext, ValidationResult& result,
                          bool validateSchema, std::shared_ptr<TaskHandle> task);

}  // namespace TarnConfigManager
