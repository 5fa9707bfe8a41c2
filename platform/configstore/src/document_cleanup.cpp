// CleanupObject: trimming a stored value to what a document of some purpose should show.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "schema_lookup.h"
#include "store_json.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/member_index.h"

namespace ConfigStoreDocument {

namespace {

bool IsKnownAction(CLEANUP_ACTIONS action) {
    switch (action) {
        case DROP_DEFAULT_VALUES:
        case DROP_NULL_VALUES:
        case DROP_EMPTY_OBJECTS:
        case DROP_GENERATED_IDS:
        case MASK_SENSITIVE_VALUES:
        case DROP_READ_ONLY_VALUES:
        case DROP_UNDECLARED_MEMBERS:
        case DROP_SENSITIVE_VALUES:
            return true;
    }
    return false;
}

// Only a schema whose "type" names "null" makes null a value of its own.
bool TypeAllowsNull(const rapidjson::Value& schema) {
    const rapidjson::Value& type = SchemaMember(schema, "type");
    if (type.IsArray()) {
        return std::any_of(type.Begin(), type.End(),
                           [](const rapidjson::Value& name) { return name == "null"; });
    }
    return type.IsString() && type == "null";
}

bool EqualsDefault(const rapidjson::Value& value, const rapidjson::Value& schema) {
    if (!schema.IsObject()) {
        return false;
    }
    auto found = schema.FindMember("default");
    return found != schema.MemberEnd() && IsEqualValue(value, found->value, schema);
}

const rapidjson::Value kNoSchema;

// What cleaning reads from the schema of an object, looked up once per object instead of once
// per member and action.
class ObjectSchemaFacts {
public:
    // One pass over the schema's members; the first of a name counts, as a lookup finds it.
    explicit ObjectSchemaFacts(const rapidjson::Value& objectSchema) {
        const rapidjson::Value* pattern = &kNoSchema;
        if (objectSchema.IsObject()) {
            for (const auto& member : objectSchema.GetObject()) {
                std::string_view name(member.name.GetString(), member.name.GetStringLength());
                const rapidjson::Value** slot = name == "properties"             ? &properties_
                                                : name == "additionalProperties" ? &additional_
                                                : name == "patternProperties"    ? &pattern
                                                : name == "required"             ? &required_
                                                                                 : nullptr;
                if (slot && *slot == &kNoSchema) {
                    *slot = &member.value;
                }
            }
        }
        closed_ = additional_->IsFalse() && pattern->IsNull();
        declared_.emplace(*properties_);
    }

    // The "properties" entry of name, or null when it has none.
    const rapidjson::Value* Declared(const rapidjson::Value& name) const {
        return declared_->Find(name);
    }

    // The schema of a property: its declaration, else an "additionalProperties" schema, else
    // null (as PropertySchema finds it).
    const rapidjson::Value& PropertySchema(const rapidjson::Value* declared) const {
        if (declared) {
            return *declared;
        }
        return additional_->IsObject() ? *additional_ : kNoSchema;
    }

    // Undeclared: the object admits no other members and the property is not declared.
    bool IsUndeclared(const rapidjson::Value* declared) const { return closed_ && !declared; }

    bool IsRequired(const rapidjson::Value& name) const {
        return required_->IsArray() &&
               std::any_of(required_->Begin(), required_->End(),
                           [&name](const rapidjson::Value& entry) { return entry == name; });
    }

private:
    const rapidjson::Value* properties_ = &kNoSchema;
    const rapidjson::Value* additional_ = &kNoSchema;
    const rapidjson::Value* required_ = &kNoSchema;
    bool closed_;
    std::optional<TarnConfigStore::MemberIndex> declared_;  // over properties_
};

bool IsFlagged(const rapidjson::Value& schema, const char* keyword) {
    return SchemaMember(schema, keyword).IsTrue();
}

class Cleaner {
public:
    Cleaner(const std::vector<CLEANUP_ACTIONS>& actions, Allocator& allocator)
        : actions_(actions), allocator_(allocator) {}

    void Clean(rapidjson::Value& value, const rapidjson::Value& schema) const {
        if (value.IsObject()) {
            CleanMembers(value, ObjectSchema(schema));
        } else if (value.IsArray()) {
            const rapidjson::Value& items = SchemaMember(schema, "items");
            for (auto& element : value.GetArray()) {
                Clean(element, items);
                if (Has(MASK_SENSITIVE_VALUES) && IsFlagged(items, "sensitive")) {
                    element.SetString(kRedactedText, allocator_);
                }
            }
        }
    }

private:
    bool Has(CLEANUP_ACTIONS action) const {
        return std::find(actions_.begin(), actions_.end(), action) != actions_.end();
    }

    void CleanMembers(rapidjson::Value& object, const rapidjson::Value& objectSchema) const {
        ObjectSchemaFacts facts(objectSchema);
        for (auto member = object.MemberBegin(); member != object.MemberEnd();) {
            const rapidjson::Value* declared = facts.Declared(member->name);
            const rapidjson::Value& schema = facts.PropertySchema(declared);
            Clean(member->value, schema);
            if (Drops(*member, schema, facts, declared)) {
                member = object.EraseMember(member);
            } else {
                ++member;
            }
        }
    }

    // Runs the actions in order on one cleaned member; masking changes it and goes on.
    bool Drops(rapidjson::Value::Member& member, const rapidjson::Value& schema,
               const ObjectSchemaFacts& facts, const rapidjson::Value* declared) const {
        for (CLEANUP_ACTIONS action : actions_) {
            if (action == MASK_SENSITIVE_VALUES && IsFlagged(schema, "sensitive")) {
                member.value.SetString(kRedactedText, allocator_);
            } else if (DropsFor(action, member, schema, facts, declared)) {
                return true;
            }
        }
        return false;
    }

    static bool DropsFor(CLEANUP_ACTIONS action, const rapidjson::Value::Member& member,
                         const rapidjson::Value& schema, const ObjectSchemaFacts& facts,
                         const rapidjson::Value* declared) {
        const rapidjson::Value& value = member.value;
        switch (action) {
            case DROP_DEFAULT_VALUES:
                return EqualsDefault(value, schema) && !facts.IsRequired(member.name);
            case DROP_NULL_VALUES:
                return value.IsNull() && !TypeAllowsNull(schema);
            case DROP_EMPTY_OBJECTS:
                return value.IsObject() && value.MemberCount() == 0 &&
                       !facts.IsRequired(member.name);
            case DROP_GENERATED_IDS:
                return member.name == "cs_generated_id";
            case DROP_READ_ONLY_VALUES:
                return IsFlagged(schema, "readOnly");
            case DROP_UNDECLARED_MEMBERS:
                return facts.IsUndeclared(declared);
            case DROP_SENSITIVE_VALUES:
                return IsFlagged(schema, "sensitive");
            case MASK_SENSITIVE_VALUES:
                return false;
        }
        return false;
    }

    const std::vector<CLEANUP_ACTIONS>& actions_;
    Allocator& allocator_;
};

}  // namespace

void CleanupObject(rapidjson::Value& value, const rapidjson::Value& schema,
                   const std::vector<CLEANUP_ACTIONS>& actions, Allocator& allocator) {
    for (CLEANUP_ACTIONS action : actions) {
        if (!IsKnownAction(action)) {
            TarnConfigStore::ThrowDataError("Unknown cleanup action " +
                                            std::to_string(static_cast<int>(action)));
        }
    }
    Cleaner(actions, allocator).Clean(value, schema);
}

bool IsTelemetryDisabled(const rapidjson::Value& schema) {
    return IsFlagged(schema, "telemetryDisabled");
}

}  // namespace ConfigStoreDocument
