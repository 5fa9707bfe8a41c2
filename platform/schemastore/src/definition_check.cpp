#include "definition_check.h"

#include <iterator>
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

// The members of a schema node the check reads (the first of each name, as a lookup by name
// finds it), gathered in one pass over the node: a definition has a node per property, each
// asked for up to six names.
struct Keywords {
    const rapidjson::Value* type = nullptr;
    const rapidjson::Value* properties = nullptr;
    const rapidjson::Value* items = nullptr;
    const rapidjson::Value* instanceId = nullptr;
    const rapidjson::Value* triggers[std::size(kTriggerKinds)] = {};
    bool telemetryDisabled = false;

    explicit Keywords(const rapidjson::Value& node) {
        for (const auto& member : node.GetObject()) {
            std::string_view name(member.name.GetString(), member.name.GetStringLength());
            const rapidjson::Value** slot = Slot(name);
            if (slot && !*slot) {
                *slot = &member.value;
            }
            telemetryDisabled = telemetryDisabled || name == "telemetryDisabled";
        }
    }

    // The node's "type" when it is a string, else empty.
    std::string_view Type() const {
        return type && type->IsString()
                   ? std::string_view(type->GetString(), type->GetStringLength())
                   : std::string_view();
    }

private:
    const rapidjson::Value** Slot(std::string_view name) {
        if (name == "type") {
            return &type;
        }
        if (name == "properties") {
            return &properties;
        }
        if (name == "items") {
            return &items;
        }
        if (name == "instanceId") {
            return &instanceId;
        }
        for (size_t i = 0; i < std::size(kTriggerKinds); ++i) {
            if (name == kTriggerKinds[i].keyword) {
                return &triggers[i];
            }
        }
        return nullptr;
    }
};

void CheckNode(const rapidjson::Value& node, NodeRole role, const Where& where,
               DefinitionTriggers& found);

void CheckObjectNode(const Keywords& keywords, const Where& where, DefinitionTriggers& found) {
    const rapidjson::Value* properties = keywords.properties;
    if (!properties || !properties->IsObject()) {
        Reject(where.Text(), "an object needs \"properties\", an object of property definitions");
    }
    const Where inProperties{&where, "properties"};
    for (const auto& property : properties->GetObject()) {
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

void CheckArrayNode(const Keywords& keywords, const Where& where, DefinitionTriggers& found) {
    const rapidjson::Value* items = keywords.items;
    if (!items || !items->IsObject() || TypeOf(*items).empty()) {
        Reject(where.Text(), "an array needs \"items\", a definition with a string \"type\"");
    }
    const Where inItems{&where, "items"};
    if (TypeOf(*items) == "object") {
        const rapidjson::Value* instanceId = keywords.instanceId;
        if (!instanceId || !instanceId->IsString() || instanceId->GetStringLength() == 0) {
            Reject(where.Text(),
                   "an array of objects needs \"instanceId\", the name of its key property");
        }
        CheckInstanceKey(*items, instanceId->GetString(), inItems);
    }
    CheckNode(*items, NodeRole::kItems, inItems, found);
}

void CheckNode(const rapidjson::Value& node, NodeRole role, const Where& where,
               DefinitionTriggers& found) {
    if (!node.IsObject()) {
        Reject(where.Text(), "must be an object (a JSON Schema)");
    }
    const Keywords keywords(node);
    std::string_view type = keywords.Type();
    for (size_t i = 0; i < std::size(kTriggerKinds); ++i) {
        if (keywords.triggers[i]) {
            CheckTrigger(*keywords.triggers[i], type, role,
                         Where{&where, kTriggerKinds[i].keyword});
            found.*kTriggerKinds[i].found = true;
        }
    }
    if (role != NodeRole::kRoot && keywords.telemetryDisabled) {
        Reject(where.Text() + "/telemetryDisabled", "belongs at the root of the definition");
    }
    if (type == "object") {
        CheckObjectNode(keywords, where, found);
    } else if (type == "array") {
        CheckArrayNode(keywords, where, found);
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
