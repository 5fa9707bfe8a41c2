// The JSON form of a configuration object in request and result files: "config" (the value
// as JSON text, a string) and the id members "component", "group", "key", "instanceId".
// Shared by the request document and the extract result so both read and write it alike.
// Reentrant; an InstanceIndex belongs to one reader.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "tarn/configstore/config_store_object.h"
#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigManager {

// Adds "component", "group", "key" and "instanceId" (in this order) to out.
void AddObjectIdMembers(const TarnConfigStore::ConfigStoreObjectId& id, rapidjson::Value& out,
                        rapidjson::MemoryPoolAllocator<>& allocator);
// Reads the four id members; each must be a string. Throws ConfigStoreException 1082 when
// one is missing or not a string.
TarnConfigStore::ConfigStoreObjectId ReadObjectId(const rapidjson::Value& value);

// Gives the instances of one key (component:group:key) their positions 0, 1, ... in the
// order they are read.
class InstanceIndex {
public:
    unsigned long Next(const TarnConfigStore::ConfigStoreObjectId& id);

private:
    std::map<std::string, unsigned long> counts_;
};

// Builds the object named by value's id members from its "config" text, at the next index of
// its key. Throws ConfigStoreException 1082 for a missing or wrongly typed member, 2000 when
// "config" is not JSON text.
std::shared_ptr<TarnConfigStore::ConfigStoreObject> ReadConfigObject(const rapidjson::Value& value,
                                                                     InstanceIndex& index);

// Reads a string member of object. Throws ConfigStoreException 1082 naming the member when it
// is missing or not a string.
std::string RequiredString(const rapidjson::Value& object, const char* name);

}  // namespace TarnConfigManager

TARN_PUBLIC_END
