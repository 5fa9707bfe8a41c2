// ConfigStoreObjectId: the identity of one configuration object: component, group, key and,
// for an instance of a multi-instance key, its instance id (empty otherwise). A value type;
// hashable (hashCsoId, ConfigStoreObjectIdHash) for unordered containers. Any thread.
#pragma once

#include <cstddef>
#include <string>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

class ConfigStoreObjectId {
public:
    ConfigStoreObjectId() = default;
    // Arguments in the order key, group, component, instance id.
    ConfigStoreObjectId(std::string key, std::string group, std::string component,
                        std::string instanceId = std::string());
    // Null pointers read as empty strings.
    ConfigStoreObjectId(const char* key, const char* group, const char* component,
                        const char* instanceId = nullptr);

    const std::string& GetKey() const { return key_; }
    const std::string& GetGroup() const { return group_; }
    const std::string& GetComponent() const { return component_; }
    const std::string& GetInstanceId() const { return instanceId_; }
    void SetInstanceId(std::string instanceId) { instanceId_ = std::move(instanceId); }

    // "comp C grp G key K", followed by " id I" when the instance id is not empty.
    std::string toString() const;

    bool operator==(const ConfigStoreObjectId& other) const;
    bool operator!=(const ConfigStoreObjectId& other) const { return !(*this == other); }

private:
    std::string key_;
    std::string group_;
    std::string component_;
    std::string instanceId_;
};

size_t hashCsoId(const ConfigStoreObjectId& id);

struct ConfigStoreObjectIdHash {
    size_t operator()(const ConfigStoreObjectId& id) const { return hashCsoId(id); }
};

}  // namespace TarnConfigStore

TARN_PUBLIC_END
