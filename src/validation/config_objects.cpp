#include "validation/config_objects.h"

#include <string>

namespace TarnConfigManager {

namespace {

using TarnConfigStore::ConfigStoreObjectId;

const rapidjson::Value* MemberOf(const rapidjson::Value* value, const std::string& name) {
    if (!value || !value->IsObject()) {
        return nullptr;
    }
    auto member = value->FindMember(name);
    return member == value->MemberEnd() ? nullptr : &member->value;
}

// id with the instance id the element carries in the key's instance key property, if any.
ConfigStoreObjectId InstanceIdOf(const ConfigStoreObjectId& id, const rapidjson::Value& element,
                                 const TarnSchemaStore::SchemaObject* schema) {
    ConfigStoreObjectId instance = id;
    const rapidjson::Value* key = schema && schema->IsMultiInstance()
                                      ? MemberOf(&element, schema->GetInstanceKey())
                                      : nullptr;
    if (key && key->IsString()) {
        instance.SetInstanceId(std::string(key->GetString(), key->GetStringLength()));
    }
    return instance;
}

}  // namespace

void CollectConfigObjects(std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& objects,
                          const rapidjson::Value& value,
                          const std::vector<ConfigStoreObjectId>& ids,
                          const std::shared_ptr<const TarnSchemaStore::SchemaCache>& cache) {
    for (const ConfigStoreObjectId& id : ids) {
        const rapidjson::Value* keyValue =
            MemberOf(MemberOf(MemberOf(&value, id.GetComponent()), id.GetGroup()), id.GetKey());
        if (!keyValue) {
            continue;
        }
        auto schema = cache ? cache->Find(TarnSchemaStore::SchemaObjectId(
                                  id.GetComponent(), id.GetGroup(), id.GetKey()))
                            : nullptr;
        if (keyValue->IsArray()) {
            unsigned long index = 0;
            for (const rapidjson::Value& element : keyValue->GetArray()) {
                objects.push_back(TarnConfigStore::CreateObject(
                    InstanceIdOf(id, element, schema.get()), element, index++));
            }
        } else if (!(keyValue->IsString() && *keyValue == "DELETE_DEFAULT")) {
            objects.push_back(TarnConfigStore::CreateObject(id, *keyValue, std::nullopt));
        }
    }
}

}  // namespace TarnConfigManager
