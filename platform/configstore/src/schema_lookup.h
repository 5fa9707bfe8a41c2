// Lookups in a JSON schema that tolerate a missing or malformed schema: anything absent reads
// as null, so a value without a schema is compared and written as plain JSON. Private to the
// configuration store library; reentrant.
#pragma once

#include <cstring>

#include "tarn/json/json.h"

namespace ConfigStoreDocument {

// schema[name], or null when schema is not an object or lacks it.
const rapidjson::Value& SchemaMember(const rapidjson::Value& schema, const char* name);
// The schema that describes an object value: schema itself, or its "items" when schema
// describes an array (a key's definition applied to one of its instances).
const rapidjson::Value& ObjectSchema(const rapidjson::Value& schema);
// The schema of property name of objects described by objectSchema: its "properties" entry,
// else an "additionalProperties" schema, else null.
const rapidjson::Value& PropertySchema(const rapidjson::Value& objectSchema,
                                       const rapidjson::Value& name);

// Whether a member name is "cs_generated_id", the instance id the store generates. Compared
// by length first: most names differ in length, and no string length is counted.
inline bool IsGeneratedIdName(const rapidjson::Value& name) {
    constexpr char kGeneratedId[] = "cs_generated_id";
    return name.GetStringLength() == sizeof(kGeneratedId) - 1 &&
           std::memcmp(name.GetString(), kGeneratedId, sizeof(kGeneratedId) - 1) == 0;
}

}  // namespace ConfigStoreDocument
