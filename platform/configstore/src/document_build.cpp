// Building configuration documents level by level: component, group, key.
#include "store_json.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/json_copy.h"

namespace ConfigStoreDocument {

namespace {

// target[name] as an object, created when missing; place() names target in errors (made only
// then: levels are added once per object of a document).
template <typename Place>
rapidjson::Value& ObjectLevel(rapidjson::Value& target, const std::string& name,
                              Allocator& allocator, Place place) {
    if (target.IsNull()) {
        target.SetObject();
    }
    if (!target.IsObject()) {
        TarnConfigStore::ThrowDataError(place() + " is not an object");
    }
    auto member = target.FindMember(name);
    if (member == target.MemberEnd()) {
        target.AddMember(rapidjson::Value(name, allocator),
                         rapidjson::Value(rapidjson::kObjectType), allocator);
        return (target.MemberEnd() - 1)->value;
    }
    if (!member->value.IsObject()) {
        TarnConfigStore::ThrowDataError(place() + "/" + name + " is not an object");
    }
    return member->value;
}

std::string TheDocument() {
    return "The document";
}

}  // namespace

rapidjson::Value& AddProfile(rapidjson::Document& document) {
    return ObjectLevel(document, "profile", document.GetAllocator(), TheDocument);
}

rapidjson::Value& AddComponent(rapidjson::Value& target, const std::string& component,
                               Allocator& allocator) {
    return ObjectLevel(target, component, allocator, TheDocument);
}

rapidjson::Value& AddGroup(rapidjson::Value& target, const std::string& component,
                           const std::string& group, Allocator& allocator) {
    return ObjectLevel(AddComponent(target, component, allocator), group, allocator,
                       [&component] { return "/" + component; });
}

rapidjson::Value* MoveObject(rapidjson::Value& target, const std::string& component,
                             const std::string& group, const std::string& key,
                             const std::string& identifier, rapidjson::Value&& value,
                             Allocator& allocator) {
    rapidjson::Value& groupValue = AddGroup(target, component, group, allocator);
    auto member = groupValue.FindMember(key);
    if (identifier.empty()) {
        if (member == groupValue.MemberEnd()) {
            groupValue.AddMember(rapidjson::Value(key, allocator), value, allocator);
        } else {
            member->value = value;
        }
        return nullptr;
    }
    if (member == groupValue.MemberEnd()) {
        groupValue.AddMember(rapidjson::Value(key, allocator),
                             rapidjson::Value(rapidjson::kArrayType), allocator);
        member = groupValue.MemberEnd() - 1;
    }
    if (!member->value.IsArray()) {
        TarnConfigStore::ThrowDataError("/" + component + "/" + group + "/" + key +
                                        " holds a single object, not instances");
    }
    member->value.PushBack(value, allocator);
    return &member->value;
}

void AddObject(rapidjson::Value& target, const std::string& component, const std::string& group,
               const std::string& key, const std::string& identifier, const rapidjson::Value& value,
               Allocator& allocator) {
    MoveObject(target, component, group, key, identifier,
               TarnConfigStore::CopyJsonValue(value, allocator), allocator);
}

void AddMember(rapidjson::Value& object, const std::string& name, const rapidjson::Value& value,
               Allocator& allocator) {
    object.AddMember(rapidjson::Value(name, allocator),
                     TarnConfigStore::CopyJsonValue(value, allocator), allocator);
}

}  // namespace ConfigStoreDocument
