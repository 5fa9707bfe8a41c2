#include "tarn/configstore/config_store_object_id.h"

#include <functional>

#include "tarn/configstore/join_text.h"

namespace TarnConfigStore {

ConfigStoreObjectId::ConfigStoreObjectId(std::string key, std::string group, std::string component,
                                         std::string instanceId)
    : key_(std::move(key)),
      group_(std::move(group)),
      component_(std::move(component)),
      instanceId_(std::move(instanceId)) {}

ConfigStoreObjectId::ConfigStoreObjectId(const char* key, const char* group, const char* component,
                                         const char* instanceId)
    : key_(key ? key : ""),
      group_(group ? group : ""),
      component_(component ? component : ""),
      instanceId_(instanceId ? instanceId : "") {}

// Joined in one allocation: ids are named in log lines and messages for
// thousands of objects per operation.
std::string ConfigStoreObjectId::toString() const {
    if (instanceId_.empty()) {
        return JoinText({"comp ", component_, " grp ", group_, " key ", key_});
    }
    return JoinText({"comp ", component_, " grp ", group_, " key ", key_, " id ", instanceId_});
}

bool ConfigStoreObjectId::operator==(const ConfigStoreObjectId& other) const {
    return key_ == other.key_ && group_ == other.group_ && component_ == other.component_ &&
           instanceId_ == other.instanceId_;
}

size_t hashCsoId(const ConfigStoreObjectId& id) {
    std::hash<std::string> hash;
    size_t seed = 0;
    for (const std::string* part :
         {&id.GetComponent(), &id.GetGroup(), &id.GetKey(), &id.GetInstanceId()}) {
        seed ^= hash(*part) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    }
    return seed;
}

}  // namespace TarnConfigStore
