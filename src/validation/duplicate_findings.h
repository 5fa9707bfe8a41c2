// Findings a JSON schema cannot express: an object that names one member twice (the parser
// keeps both, and each later reader would pick another), and two instances of a keyed
// multi-instance key with one instance key. Private to the library; one call at a time.
#pragma once

#include "tarn/json/json.h"
#include "validation/validation_errors.h"

namespace TarnConfigManager {

// Message ids of the two findings.
extern const char kDuplicateMemberId[];
extern const char kDuplicateInstanceId[];

// Files every duplicate of value (a configuration document: component -> group -> key) under
// its path: the repeated member, with its name as argument; the instance key member of the
// later instance, with the key's value (as JSON text) and the index of the earlier instance.
void CollectDuplicates(const rapidjson::Value& value, ValidationErrorMap& errorMap,
                       FailedObjectSet& failedObjects);

}  // namespace TarnConfigManager
