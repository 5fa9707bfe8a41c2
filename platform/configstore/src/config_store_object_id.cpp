#include "tarn/configstore/config_store_object_id.h"

#include <cstring>
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

namespace {

char* Put(char* at, const char* text, size_t size) {
    std::memcpy(at, text, size);
    return at + size;
}

char* Put(char* at, const std::string& text) {
    return Put(at, text.data(), text.size());
}

}  // namespace

// Sized once and filled with plain copies: ids are named in log lines and messages for
// thousands of objects per operation.
std::string ConfigStoreObjectId::toString() const {
    bool hasId = !instanceId_.empty();
    std::string text(
        component_.size() + group_.size() + key_.size() + 15 + (hasId ? 4 + instanceId_.size() : 0),
        '\0');
    char* at = Put(&text[0], "comp ", 5);
    at = Put(Put(at, component_), " grp ", 5);
    at = Put(Put(at, group_), " key ", 5);
    at = Put(at, key_);
    if (hasId) {
        Put(Put(at, " id ", 4), instanceId_);
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
