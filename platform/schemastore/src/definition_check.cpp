#include "definition_check.h"

#include <string_view>

#include "tarn/schemastore/schema_object.h"

namespace TarnSchemaStore {

void Reject(const std::string& where, const std::string& what) {
    throw SchemaFileProblem(where + ": " + what);
}

namespace {

// Where a node of the definition sits; triggers fire only on properties.
enum class NodeRole { kRoot, kProperty, kItems };

// The member path of a node, as a chain of pieces on the walk's stack: written out only for a
// problem, since definitions without problems are by far the common case.
struct Where {
    const Where* parent;
    const char* piece;

    std::string Text() const { return parent ? parent->Text() + "/" + piece : piece; }
};

struct TriggerKind {
    const char* keyword;
    bool DefinitionTriggers::*found;
};
const TriggerKind kTriggerKinds[] = {{"rebootRequired", &DefinitionTriggers::reboot},
                                     {"maintenanceModeRequired", &DefinitionTriggers::maintenance}};

// The node's "type" when it is a string, else empty.
std::string_view TypeOf(const rapidjson::Value& node) {
    auto type = node.FindMember("type");
    if (type == node.MemberEnd() || !type->value.IsString()) {
        return {};
    }
    return {type->value.GetString(), type->value.GetStringLength()};
}

// Whether a trigger list element fits the property type, as the impact judgement compares.
bool FitsType(const rapidjson::Value& element, std::string_view type) {
    if (type == "integer" || type == "long") {
        return element.IsInt64();
    }
    if (type == "number" || type == "double") {
        return element.IsNumber();
    }
    if (type == "boolean") {
        return element.IsBool();
    }
    return element.IsString();
}

bool IsScalarType(std::string_view type) {
    for (const char* name : {"integer", "long", "number", "double", "boolean", "string"}) {
        if (type == name) {
            return true;
        }
    }
    return false;
}

void CheckTrigger(const rapidjson::Value& trigger, std::string_view type, NodeRole role,
                  const Where& where) {
    if (role != NodeRole::kProperty) {
        Reject(where.Text(), "a trigger fires only on a property, never here");
    }
    if (!IsScalarType(type)) {
        Reject(where.Text(),
               "a trigger needs a property of type integer, number, boolean or string");
    }
    if (!trigger.IsObject()) {
        Reject(where.Text(), "must be an object with the list \"SET\"");
    }
    auto list = trigger.FindMember("SET");
    if (list == trigger.MemberEnd() || !list->value.IsArray()) {
        Reject(where.Text() + "/SET", "must be an array of the values that trigger");
    }
    for (rapidjson::SizeType i = 0; i < list->value.Size(); ++i) {
        if (!FitsType(list->value[i], type)) {
            Reject(where.Text() + "/SET/" + std::to_string(i),
                   "is not a value of type " + std::string(type));
        }
    }
}

void CheckNode(const rapidjson::Value& node, NodeRole role, const Where& where,
               DefinitionTriggers& found);

void CheckObjectNode(const rapidjson::Value& node, const Where& where, DefinitionTriggers& found) {
    auto properties = node.FindMember("properties");
    if (properties == node.MemberEnd() || !properties->value.IsObject()) {
        Reject(where.Text(), "an object needs \"properties\", an object of property definitions");
    }
    const Where inProperties{&where, "properties"};
    for (const auto& property : properties->value.GetObject()) {
        CheckNode(property.value, NodeRole::kProperty,
                  Where{&inProperties, property.name.GetString()}, found);
    }
}

// The property of an instance that names it must be a string.
void CheckInstanceKey(const rapidjson::Value& instance, const std::string& instanceKey,
                      const Where& where) {
    if (instanceKey == kGeneratedInstanceKey) {
        return;
    }
    auto properties = instance.FindMember("properties");
    const rapidjson::Value* key = nullptr;
    if (properties != instance.MemberEnd() && properties->value.IsObject()) {
        auto member = properties->value.FindMember(instanceKey.c_str());
        key = member != properties->value.MemberEnd() ? &member->value : nullptr;
    }
    if (!key || !key->IsObject() || TypeOf(*key) != "string") {
        Reject(where.Text(),
               "the instance key \"" + instanceKey + "\" must be a property of type string");
    }
}

void CheckArrayNode(const rapidjson::Value& node, const Where& where, DefinitionTriggers& found) {
    auto items = node.FindMember("items");
    if (items == node.MemberEnd() || !items->value.IsObject() || TypeOf(items->value).empty()) {
        Reject(where.Text(), "an array needs \"items\", a definition with a string \"type\"");
    }
    const Where inItems{&where, "items"};
    if (TypeOf(items->value) == "object") {
        auto instanceId = node.FindMember("instanceId");
        if (instanceId == node.MemberEnd() || !instanceId->value.IsString() ||
            instanceId->value.GetStringLength() == 0) {
            Reject(where.Text(),
                   "an array of objects needs \"instanceId\", the name of its key property");
        }
        CheckInstanceKey(items->value, instanceId->value.GetString(), inItems);
    }
    CheckNode(items->value, NodeRole::kItems, inItems, found);
}

void CheckNode(const rapidjson::Value& node, NodeRole role, const Where& where,
               DefinitionTriggers& found) {
    if (!node.IsObject()) {
        Reject(where.Text(), "must be an object (a JSON Schema)");
    }
    std::string_view type = TypeOf(node);
    for (const TriggerKind& kind : kTriggerKinds) {
        auto trigger = node.FindMember(kind.keyword);
        if (trigger != node.MemberEnd()) {
            CheckTrigger(trigger->value, type, role, Where{&where, kind.keyword});
            found.*kind.found = true;
        }
    }
    if (role != NodeRole::kRoot && node.HasMember("telemetryDisabled")) {
        Reject(where.Text() + "/telemetryDisabled", "belongs at the root of the definition");
    }
    if (type == "object") {
        CheckObjectNode(node, where, found);
    } else if (type == "array") {
        CheckArrayNode(node, where, found);
    }
}

}  // namespace

DefinitionTriggers CheckDefinition(const rapidjson::Value& definition,
                                   const std::string& instanceKey) {
    const Where where{nullptr, "definition"};
    if (!definition.IsObject() || TypeOf(definition).empty()) {
        Reject(where.Text(), "must be a JSON Schema object with a string \"type\"");
    }
    if (!instanceKey.empty()) {
        if (TypeOf(definition) != "object") {
            Reject(where.Text() + "/type", "the instances of a multi-instance key must be objects");
        }
        CheckInstanceKey(definition, instanceKey, where);
    }
    DefinitionTriggers found;
    CheckNode(definition, NodeRole::kRoot, where, found);
    return found;
}

}  // namespace TarnSchemaStore
