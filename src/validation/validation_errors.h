// The error map and the failed-object set that the validation phases fill, and the turning of
// a validator error array into them. Private to the library; values local to one call.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "deradidezivizoda/validation/validation_result.h"
#include "tarn/configstore/config_store_object_id.h"

namespace TarnConfigManager {

// Hash of an object id: the bytes of its text form folded one at a time with boost's
// hash-combine step.
struct CsoIdHash {
    size_t operator()(const TarnConfigStore::ConfigStoreObjectId& id) const;
};

// Path of a field -> that path's entry.
using ValidationErrorMap = std::unordered_map<std::string, ValidationErrorInfo>;
// The objects (component, group, key) named by schema error paths.
using FailedObjectSet = std::unordered_set<TarnConfigStore::ConfigStoreObjectId, CsoIdHash>;

// Files each {"field", "errId", "errArgs"} object of errors under its field, in array order,
// one ErrorInfo per object with the code's message id. A new path of at least four
// "/"-separated pieces ("/c/g/k/...") puts object (c, g, k) into failedObjects. errors must be
// such an array; anything else throws ConfigStoreException 1082.
void CollectValidationErrors(const rapidjson::Value& errors, ValidationErrorMap& errorMap,
                             FailedObjectSet& failedObjects);

// Files message under path; a new path names its object as CollectValidationErrors does.
void AddValidationError(const std::string& path, ErrorInfo message, ValidationErrorMap& errorMap,
                        FailedObjectSet& failedObjects);

// The map's entries, moved out in the map's iteration order.
std::vector<ValidationErrorInfo> TakeErrorList(ValidationErrorMap& errorMap);

}  // namespace TarnConfigManager
