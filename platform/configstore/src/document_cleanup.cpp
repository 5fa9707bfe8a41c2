// CleanupObject: trimming a stored value to what a document of some purpose should show.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
bool TypeAllowsNull(const rapidjson::Value& type) {
    if (type.IsArray()) {
        return std::any_of(type.Begin(), type.End(),
                           [](const rapidjson::Value& name) { return name == "null"; });
    }
    return type.IsString() && type == "null";
}

const rapidjson::Value kNoSchema;

// What cleaning reads from one schema, read once: its own flags in one pass over its members
// (the first member of a name counts, as a lookup finds it), and on first use the facts of its
// elements' schema and, as the schema of objects, of its properties. The facts form a tree
// that mirrors the parts of the schema the cleaned values reached.
class SchemaFacts {
public:
    explicit SchemaFacts(const rapidjson::Value& schema) : schema_(schema) {
        if (!schema.IsObject()) {
            return;
        }
        const rapidjson::Value* type = nullptr;
        for (const auto& member : schema.GetObject()) {
            std::string_view name(member.name.GetString(), member.name.GetStringLength());
            const rapidjson::Value** slot = name == "default"     ? &default_
                                            : name == "type"      ? &type
                                            : name == "items"     ? &items_
                                            : name == "sensitive" ? &sensitive_
                                            : name == "readOnly"  ? &readOnly_
                                                                  : nullptr;
            if (slot && !*slot) {
                *slot = &member.value;
            }
        }
        allowsNull_ = type && TypeAllowsNull(*type);
        isArray_ = type && type->IsString() && *type == "array";
    }

    const rapidjson::Value& Schema() const { return schema_; }
    // The schema's "default", nullptr when it has none (a null default is one).
    const rapidjson::Value* Default() const { return default_; }
    bool AllowsNull() const { return allowsNull_; }
    bool IsSensitive() const { return sensitive_ && sensitive_->IsTrue(); }
    bool IsReadOnly() const { return readOnly_ && readOnly_->IsTrue(); }
    // No action can drop or mask a value of this schema by the schema alone.
    bool IsPlain() const { return !default_ && !IsSensitive() && !IsReadOnly(); }

    // The facts of "items" (of null when there are none).
    SchemaFacts& Items() {
        if (!itemsFacts_) {
            itemsFacts_ = std::make_unique<SchemaFacts>(items_ ? *items_ : kNoSchema);
        }
        return *itemsFacts_;
    }

    // The facts of the schema that describes an object value: this one, or its "items" when
    // it describes an array (a key's definition applied to one of its instances).
    SchemaFacts& ForObject() {
        if (!isArray_) {
            return *this;
        }
        return Items();
    }

    class Properties;
    Properties& AsObjectSchema();

private:
    const rapidjson::Value& schema_;
    const rapidjson::Value* default_ = nullptr;
    const rapidjson::Value* items_ = nullptr;
    const rapidjson::Value* sensitive_ = nullptr;
    const rapidjson::Value* readOnly_ = nullptr;
    bool allowsNull_ = false;
    bool isArray_ = false;
    std::unique_ptr<SchemaFacts> itemsFacts_;
    std::unique_ptr<Properties> properties_;
};

// What cleaning reads from the schema of objects: "properties" indexed by name, the facts of
// each property's schema on first use, "additionalProperties", "required".
class SchemaFacts::Properties {
public:
    explicit Properties(const rapidjson::Value& objectSchema) {
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
        if (properties_->IsObject()) {
            declaredFacts_.resize(properties_->MemberCount());
        }
    }

    // The position of name in "properties", -1 when it is not declared there. position: the
    // member's own in its object. The values cleaned against one schema mostly list the same
    // members in the same order, so the declaration found for this position last time is
    // tried first (then the declaration at the same position).
    long Declared(const rapidjson::Value& name, rapidjson::SizeType position) {
        const bool remembered = position < lastDeclared_.size() && lastDeclared_[position] >= 0;
        const auto hint =
            remembered ? static_cast<rapidjson::SizeType>(lastDeclared_[position]) : position;
        const long declared = declared_->Position(name.GetString(), name.GetStringLength(), hint);
        if (position < kRememberedPositions) {
            if (lastDeclared_.size() <= position) {
                lastDeclared_.resize(position + 1, -1);
            }
            lastDeclared_[position] = declared;
        }
        return declared;
    }

    // The facts of a property's schema: its declaration, else an "additionalProperties"
    // schema, else null (as PropertySchema finds it).
    SchemaFacts& Of(long declared) {
        if (declared >= 0) {
            std::unique_ptr<SchemaFacts>& facts = declaredFacts_[static_cast<size_t>(declared)];
            if (!facts) {
                auto member = properties_->MemberBegin() + declared;
                facts = std::make_unique<SchemaFacts>(member->value);
            }
            return *facts;
        }
        if (!undeclaredFacts_) {
            undeclaredFacts_ =
                std::make_unique<SchemaFacts>(additional_->IsObject() ? *additional_ : kNoSchema);
        }
        return *undeclaredFacts_;
    }

    // Undeclared: the object admits no other members and the property is not declared.
    bool IsUndeclared(long declared) const { return closed_ && declared < 0; }

    // No action changes a scalar member of such an object, whatever its name: the object
    // admits other members and no property schema, declared or not, has a default or is
    // read-only or sensitive. Decided on first use, for all the values cleaned against it.
    bool KeepsEveryScalar() {
        if (!keepsEveryScalar_) {
            bool keeps = !closed_ && Of(-1).IsPlain();
            for (size_t i = 0; keeps && i < declaredFacts_.size(); ++i) {
                keeps = Of(static_cast<long>(i)).IsPlain();
            }
            keepsEveryScalar_ = keeps;
        }
        return *keepsEveryScalar_;
    }

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
    std::vector<std::unique_ptr<SchemaFacts>> declaredFacts_;
    std::unique_ptr<SchemaFacts> undeclaredFacts_;
    std::optional<bool> keepsEveryScalar_;
    static constexpr rapidjson::SizeType kRememberedPositions = 64;
    std::vector<long> lastDeclared_;  // by member position: the declaration found last time
};

SchemaFacts::Properties& SchemaFacts::AsObjectSchema() {
    if (!properties_) {
        properties_ = std::make_unique<Properties>(schema_);
    }
    return *properties_;
}

using Properties = SchemaFacts::Properties;

class Cleaner {
public:
    Cleaner(const std::vector<CLEANUP_ACTIONS>& actions, Allocator& allocator)
        : actions_(actions), allocator_(allocator) {
        mask_ = Has(MASK_SENSITIVE_VALUES);
        dropsGeneratedIds_ = Has(DROP_GENERATED_IDS);
    }

    void Clean(rapidjson::Value& value, SchemaFacts& schema) const {
        if (value.IsObject()) {
            CleanMembers(value, schema.ForObject().AsObjectSchema());
        } else if (value.IsArray()) {
            SchemaFacts& items = schema.Items();
            for (auto& element : value.GetArray()) {
                Clean(element, items);
                if (mask_ && items.IsSensitive()) {
                    element.SetString(kRedactedText, allocator_);
                }
            }
        }
    }

private:
    bool Has(CLEANUP_ACTIONS action) const {
        return std::find(actions_.begin(), actions_.end(), action) != actions_.end();
    }

    void CleanMembers(rapidjson::Value& object, Properties& properties) const {
        const bool keepsScalars = properties.KeepsEveryScalar();
        for (auto member = object.MemberBegin(); member != object.MemberEnd();) {
            if (keepsScalars && IsScalar(member->value) && !IsDroppedId(member->name)) {
                ++member;
                continue;
            }
            auto position = static_cast<rapidjson::SizeType>(member - object.MemberBegin());
            long declared = properties.Declared(member->name, position);
            SchemaFacts& schema = properties.Of(declared);
            Clean(member->value, schema);
            if (Drops(*member, schema, properties, declared)) {
                member = object.EraseMember(member);
            } else {
                ++member;
            }
        }
    }

    // Runs the actions in order on one cleaned member; masking changes it and goes on.
    bool Drops(rapidjson::Value::Member& member, const SchemaFacts& schema,
               const Properties& properties, long declared) const {
        if (Keeps(member, schema, properties, declared)) {
            return false;
        }
        for (CLEANUP_ACTIONS action : actions_) {
            if (action == MASK_SENSITIVE_VALUES && schema.IsSensitive()) {
                member.value.SetString(kRedactedText, allocator_);
            } else if (DropsFor(action, member, schema, properties, declared)) {
                return true;
            }
        }
        return false;
    }

    // Most members: a plain schema, a value neither null nor an object, a name no action
    // looks at. No action drops or masks them.
    bool Keeps(const rapidjson::Value::Member& member, const SchemaFacts& schema,
               const Properties& properties, long declared) const {
        return schema.IsPlain() && !properties.IsUndeclared(declared) && !member.value.IsNull() &&
               !member.value.IsObject() && !IsDroppedId(member.name);
    }

    bool IsDroppedId(const rapidjson::Value& name) const {
        return dropsGeneratedIds_ && IsGeneratedIdName(name);
    }

    // A string, number or boolean: nothing inside it to clean.
    static bool IsScalar(const rapidjson::Value& value) {
        return !value.IsNull() && !value.IsObject() && !value.IsArray();
    }

    static bool DropsFor(CLEANUP_ACTIONS action, const rapidjson::Value::Member& member,
                         const SchemaFacts& schema, const Properties& properties, long declared) {
        const rapidjson::Value& value = member.value;
        switch (action) {
            case DROP_DEFAULT_VALUES:
                return schema.Default() &&
                       IsEqualValue(value, *schema.Default(), schema.Schema()) &&
                       !properties.IsRequired(member.name);
            case DROP_NULL_VALUES:
                return value.IsNull() && !schema.AllowsNull();
            case DROP_EMPTY_OBJECTS:
                return value.IsObject() && value.MemberCount() == 0 &&
                       !properties.IsRequired(member.name);
            case DROP_GENERATED_IDS:
                return IsGeneratedIdName(member.name);
            case DROP_READ_ONLY_VALUES:
                return schema.IsReadOnly();
            case DROP_UNDECLARED_MEMBERS:
                return properties.IsUndeclared(declared);
            case DROP_SENSITIVE_VALUES:
                return schema.IsSensitive();
            case MASK_SENSITIVE_VALUES:
                return false;
        }
        return false;
    }

    const std::vector<CLEANUP_ACTIONS>& actions_;
    Allocator& allocator_;
    bool mask_;
    bool dropsGeneratedIds_;
};

void CheckActions(const std::vector<CLEANUP_ACTIONS>& actions) {
    for (CLEANUP_ACTIONS action : actions) {
        if (!IsKnownAction(action)) {
            TarnConfigStore::ThrowDataError("Unknown cleanup action " +
                                            std::to_string(static_cast<int>(action)));
        }
    }
}

}  // namespace

void CleanupObject(rapidjson::Value& value, const rapidjson::Value& schema,
                   const std::vector<CLEANUP_ACTIONS>& actions, Allocator& allocator) {
    ValueCleaner(actions).Clean(value, schema, allocator);
}

// The facts of the schemas values were cleaned against, one tree per schema (mostly one).
class ValueCleaner::Facts {
public:
    SchemaFacts& Of(const rapidjson::Value& schema) {
        for (const auto& root : roots_) {
            if (&root->Schema() == &schema) {
                return *root;
            }
        }
        roots_.push_back(std::make_unique<SchemaFacts>(schema));
        return *roots_.back();
    }

private:
    std::vector<std::unique_ptr<SchemaFacts>> roots_;
};

ValueCleaner::ValueCleaner(const std::vector<CLEANUP_ACTIONS>& actions)
    : actions_(actions), facts_(std::make_unique<Facts>()) {
    CheckActions(actions_);
}

ValueCleaner::~ValueCleaner() = default;

void ValueCleaner::Clean(rapidjson::Value& value, const rapidjson::Value& schema,
                         Allocator& allocator) {
    Cleaner(actions_, allocator).Clean(value, facts_->Of(schema));
}

bool IsTelemetryDisabled(const rapidjson::Value& schema) {
    return SchemaMember(schema, "telemetryDisabled").IsTrue();
}

}  // namespace ConfigStoreDocument
