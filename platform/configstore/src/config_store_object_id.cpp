#include "tarn/configstore/config_store_object_id.h"

#include <functional>

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

std::string ConfigStoreObjectId::toString() const {
    std::string text;
    text.reserve(17 + component_.size() + group_.size() + key_.size() + instanceId_.size());
    text.append("comp ").append(component_).append(" grp ").append(group_);
    text.append(" key ").append(key_);
    if (!instanceId_.empty()) {
        text.append(" id ").append(instanceId_);
    }
    return text;
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
