// Auto-configuration patches: members that validation found missing are filled from the
// value the host configured automatically, which has the same shape as the stored value.
#include <algorithm>
#include <string>

#include "schema_lookup.h"
#include "store_json.h"
#include "tarn/configstore/config_store_document.h"

namespace ConfigStoreDocument {

namespace {

using Token = rapidjson::Pointer::Token;

// Bounds the "$ref" hops and combinator levels followed, so a cyclic schema ends.
constexpr int kMaxSchemaHops = 64;

rapidjson::Pointer ParseField(const std::string& field) {
    rapidjson::Pointer pointer(field.c_str(), field.size());
    if (!pointer.IsValid()) {
        TarnConfigStore::ThrowDataError("The field \"" + field + "\" is not a JSON pointer");
    }
    return pointer;
}

// schema with its local "$ref"s followed; null for a reference that leaves the document or
// names nothing.
const rapidjson::Value* Resolve(const rapidjson::Value& root, const rapidjson::Value* schema) {
    for (int hop = 0; schema && hop < kMaxSchemaHops; ++hop) {
        const rapidjson::Value& ref = SchemaMember(*schema, "$ref");
        if (!ref.IsString()) {
            return schema;
        }
        if (ref.GetStringLength() == 0 || ref.GetString()[0] != '#') {
            return nullptr;
        }
        rapidjson::Pointer target(ref.GetString(), ref.GetStringLength());
        schema = target.IsValid() ? target.Get(root) : nullptr;
    }
    return nullptr;
}

// The schema of the child named by token of a value described by schema: its property, its
// items, its additional properties, or what a branch of a combinator says about it.
const rapidjson::Value* ChildSchema(const rapidjson::Value& root, const rapidjson::Value& schema,
                                    const Token& token, int depth) {
    const rapidjson::Value& properties = SchemaMember(schema, "properties");
    rapidjson::Value name(rapidjson::StringRef(token.name, token.length));
    if (properties.IsObject() && properties.HasMember(name)) {
        return Resolve(root, &properties[name]);
    }
    const rapidjson::Value& items = SchemaMember(schema, "items");
    if (items.IsObject() && token.index != rapidjson::kPointerInvalidIndex) {
        return Resolve(root, &items);
    }
    const rapidjson::Value& additional = SchemaMember(schema, "additionalProperties");
    if (additional.IsObject()) {
        return Resolve(root, &additional);
    }
    if (depth >= kMaxSchemaHops) {
        return nullptr;
    }
    for (const char* combinator : {"oneOf", "anyOf", "allOf"}) {
        const rapidjson::Value& branches = SchemaMember(schema, combinator);
        for (auto it = branches.IsArray() ? branches.Begin() : nullptr; it && it != branches.End();
             ++it) {
            const rapidjson::Value* branch = Resolve(root, it);
            const rapidjson::Value* child =
                branch ? ChildSchema(root, *branch, token, depth + 1) : nullptr;
            if (child) {
                return child;
            }
        }
    }
    return nullptr;
}

const rapidjson::Value* SchemaAt(const rapidjson::Value& root, const rapidjson::Pointer& pointer) {
    const rapidjson::Value* schema = Resolve(root, &root);
    for (size_t i = 0; schema && i < pointer.GetTokenCount(); ++i) {
        schema = ChildSchema(root, *schema, pointer.GetTokens()[i], 0);
    }
    return schema;
}

// A branch names tag as its union tag when it requires it and gives it an "enum".
bool BranchTags(const rapidjson::Value& branch, const rapidjson::Value& tag) {
    const rapidjson::Value& required = SchemaMember(branch, "required");
    if (!required.IsArray() || std::find(required.Begin(), required.End(), tag) == required.End()) {
        return false;
    }
    const rapidjson::Value& properties = SchemaMember(branch, "properties");
    if (!properties.IsObject() || !properties.HasMember(tag)) {
        return false;
    }
    const rapidjson::Value& property = properties[tag];
    return property.IsObject() && property.HasMember("enum") && !property.HasMember("$ref");
}

// The tag of the union ("oneOf" of two or more tagged branches) schema describes, or "".
std::string UnionTag(const rapidjson::Value& root, const rapidjson::Value& schema) {
    const rapidjson::Value& oneOf = SchemaMember(schema, "oneOf");
    if (!oneOf.IsArray() || oneOf.Size() < 2) {
        return "";
    }
    std::vector<const rapidjson::Value*> branches;
    for (const auto& branch : oneOf.GetArray()) {
        const rapidjson::Value* resolved = Resolve(root, &branch);
        if (!resolved) {
            return "";
        }
        branches.push_back(resolved);
    }
    const rapidjson::Value& candidates = SchemaMember(*branches[0], "required");
    for (auto it = candidates.IsArray() ? candidates.Begin() : nullptr;
         it && it != candidates.End(); ++it) {
        bool shared = it->IsString() && std::all_of(branches.begin(), branches.end(),
                                                    [it](const rapidjson::Value* branch) {
                                                        return BranchTags(*branch, *it);
                                                    });
        if (shared) {
            return std::string(it->GetString(), it->GetStringLength());
        }
    }
    return "";
}

// Copies the member pointer names from autoConf into value when value's object lacks it.
bool CopyMissingMember(rapidjson::Value& value, const rapidjson::Pointer& pointer,
                       const rapidjson::Value& autoConf, Allocator& allocator) {
    size_t count = pointer.GetTokenCount();
    if (count == 0) {
        return false;
    }
    const rapidjson::Value* source = pointer.Get(autoConf);
    rapidjson::Value* parent = rapidjson::Pointer(pointer.GetTokens(), count - 1).Get(value);
    const Token& last = pointer.GetTokens()[count - 1];
    rapidjson::Value name(last.name, last.length, allocator);
    if (!source || !parent || !parent->IsObject() || parent->HasMember(name)) {
        return false;
    }
    parent->AddMember(name, rapidjson::Value(*source, allocator), allocator);
    return true;
}

}  // namespace

bool PatchRequiredProperty(rapidjson::Value& value, const std::string& field,
                           const rapidjson::Value& autoConf, Allocator& allocator) {
    return CopyMissingMember(value, ParseField(field), autoConf, allocator);
}

bool PatchUnionTagProperty(rapidjson::Value& value, const std::string& field,
                           const rapidjson::Value& autoConf, const rapidjson::Value& schema,
                           Allocator& allocator) {
    rapidjson::Pointer object = ParseField(field);
    const rapidjson::Value* objectSchema = SchemaAt(schema, object);
    std::string tag = objectSchema ? UnionTag(schema, *objectSchema) : "";
    if (tag.empty()) {
        return false;
    }
    return CopyMissingMember(value, object.Append(tag), autoConf, allocator);
}

}  // namespace ConfigStoreDocument
