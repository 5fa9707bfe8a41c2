// Checks of a schema file's contents. A problem is reported as SchemaFileProblem whose text
// is "<member path>: <what is wrong>"; SchemaObject::Create adds the file. Stateless.
#pragma once

#include <stdexcept>
#include <string>

#include "tarn/json/json.h"

namespace TarnSchemaStore {

class SchemaFileProblem : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Reject(const std::string& where, const std::string& what);

struct DefinitionTriggers {
    bool reboot = false;       // some property carries "rebootRequired"
    bool maintenance = false;  // some property carries "maintenanceModeRequired"
};

// Checks that the definition has the shape the drift walk and the impact judgement read:
// "properties" on objects, typed "items" and "instanceId" on arrays of objects, property
// triggers that fit their property's type, "telemetryDisabled" only at the root. instanceKey
// is empty for a single-instance key. Returns which kinds of property trigger were found.
DefinitionTriggers CheckDefinition(const rapidjson::Value& definition,
                                   const std::string& instanceKey);

}  // namespace TarnSchemaStore
