#include "tarn/pluginsupport/config_object_json.h"

#include "result_record_io.h"
#include "tarn/json/config_store_exception.h"

namespace TarnConfigManager {

void ThrowMemberError(const char* name, const char* problem) {
    throw TarnConfigStore::ConfigStoreException(
        TarnConfigStore::kStoreJsonError,
        (std::string("JSON error: member \"") + name + "\" " + problem).c_str());
}

const rapidjson::Value& RequiredMember(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) {
        ThrowMemberError(name, "is read from a value that is not an object");
    }
    auto it = object.FindMember(name);
    if (it == object.MemberEnd()) {
        ThrowMemberError(name, "is missing");
    }
    return it->value;
}

const rapidjson::Value& Required(const rapidjson::Value* found, const char* name) {
    if (!found) {
        ThrowMemberError(name, "is missing");
    }
    return *found;
}

std::string RequiredString(const rapidjson::Value* found, const char* name) {
    const rapidjson::Value& member = Required(found, name);
    if (!member.IsString()) {
        ThrowMemberError(name, "is not a string");
    }
    return std::string(member.GetString(), member.GetStringLength());
}

std::string RequiredString(const rapidjson::Value& object, const char* name) {
    return RequiredString(&RequiredMember(object, name), name);
}

void AddObjectIdMembers(const TarnConfigStore::ConfigStoreObjectId& id, rapidjson::Value& out,
                        rapidjson::MemoryPoolAllocator<>& allocator) {
    out.AddMember("component", rapidjson::Value(id.GetComponent(), allocator), allocator);
    out.AddMember("group", rapidjson::Value(id.GetGroup(), allocator), allocator);
    out.AddMember("key", rapidjson::Value(id.GetKey(), allocator), allocator);
    out.AddMember("instanceId", rapidjson::Value(id.GetInstanceId(), allocator), allocator);
}

TarnConfigStore::ConfigStoreObjectId ReadObjectId(const rapidjson::Value& value) {
    std::string key = RequiredString(value, "key");
    std::string group = RequiredString(value, "group");
    std::string component = RequiredString(value, "component");
    return TarnConfigStore::ConfigStoreObjectId(std::move(key), std::move(group),
                                                std::move(component),
                                                RequiredString(value, "instanceId"));
}

unsigned long InstanceIndex::Next(const TarnConfigStore::ConfigStoreObjectId& id) {
    return counts_[id.GetComponent() + ":" + id.GetGroup() + ":" + id.GetKey()]++;
}

std::shared_ptr<TarnConfigStore::ConfigStoreObject> ReadConfigObject(const rapidjson::Value& value,
                                                                     InstanceIndex& index) {
    TarnConfigStore::ConfigStoreObjectId id = ReadObjectId(value);
    std::string config = RequiredString(value, "config");
    return TarnConfigStore::CreateObject(id, config, index.Next(id));
}

}  // namespace TarnConfigManager
