// The host configuration API: read, set and delete the user configuration of one key
// (component, group, key) through a chain of calls whose state lives in the caller's documents
// and the stores. Errors are thrown; plugin failures of an immediate apply are returned.
// Caller's thread; two chains for different keys may interleave.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/export.h"
#include "deradidezivizoda/impact/impact.h"
#include "deradidezivizoda/validation/validation_result.h"

namespace TarnConfigManager {

class TaskHandle;

// The key's default and current configuration (empty texts when it has none) and its
// user-configuration schema. SCHEMA_NOT_FOUND (2021), UNSUPPORTED_CONFIG (2181) for a key
// users may not read, DB_CONNECT_ERROR (2001), the extract errors 2031 to 2033.
TARN_EXPORT void GetConfig(const std::string& component, const std::string& group,
                           const std::string& key, std::string& defaultConfig,
                           std::string& currentConfig, std::string& schema);

// Parses and validates a new value of the key into valueDoc; false with one entry per
// validator finding in errors. PARSE_ERROR (2080), EMPTY_DOC (2023), SCHEMA_NOT_FOUND (2021),
// SINGLETON_ERROR (2028) for an object given to a multi-instance key, NOT_SINGLETON (2022) for
// an array given to a singleton key.
TARN_EXPORT bool ValidateInputSet(const std::string& component, const std::string& group,
                                  const std::string& key, const std::string& value,
                                  rapidjson::Document& valueDoc,
                                  std::vector<ValidationErrorInfo>& errors);
// SCHEMA_NOT_FOUND (2021) for an unknown key.
TARN_EXPORT void ValidateInputDelete(const std::string& component, const std::string& group,
                                     const std::string& key);

// desired = the key holding valueDoc; current = the key's current configuration; relevant =
// desired plus the current configuration of the keys the key's validation plugins cover or
// reference. HOST_IN_DBM (2029) when a key the key's apply plugins cover waits for a reboot.
TARN_EXPORT void GenerateSetDocuments(const std::string& component, const std::string& group,
                                      const std::string& key, rapidjson::Document& valueDoc,
                                      rapidjson::Document& desired, rapidjson::Document& current,
                                      rapidjson::Document& relevant);
// The same for a deletion; both documents are left untouched when the key has no configuration.
TARN_EXPORT void GenerateDeleteDocuments(const std::string& component, const std::string& group,
                                         const std::string& key, rapidjson::Document& current,
                                         rapidjson::Document& relevant);

// The impact of turning current into desired (an empty object for a deletion).
TARN_EXPORT ImpactResult CheckImpact(rapidjson::Document& desired,
                                     const rapidjson::Document& current,
                                     const std::shared_ptr<TaskHandle>& task);

// Applies the value now, or stores it for the next boot when the impact needs a reboot (boot
// mode 4). HOST_IN_DBM (2029) while a desired document waits for a reboot (boot mode 1);
// NOT_IN_MAINT_MODE (2026); APPLY_PLUGIN_ABSENT (2085) for a changed key without apply plugin.
TARN_EXPORT ErrorInfo SetConfig(rapidjson::Document& desired, rapidjson::Document& current,
                                rapidjson::Document& valueDoc, const ImpactResult& impact,
                                const std::string& component, const std::string& group,
                                const std::string& key, const std::shared_ptr<TaskHandle>& task);
// Deletes every object of document (GenerateDeleteDocuments' current document) now, or only
// the key's stored desired configuration when the impact needs a reboot. Errors as SetConfig.
TARN_EXPORT ErrorInfo DeleteConfig(rapidjson::Document& document, const ImpactResult& impact,
                                   const std::string& component, const std::string& group,
                                   const std::string& key, const std::shared_ptr<TaskHandle>& task);

}  // namespace TarnConfigManager
