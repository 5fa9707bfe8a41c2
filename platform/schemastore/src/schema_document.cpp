#include "tarn/schemastore/schema_document.h"

#include <cctype>
#include <string>
#include <vector>

#include "tarn/validator/json_validator.h"

namespace TarnSchemaStore {

namespace {

using Allocator = rapidjson::MemoryPoolAllocator<>;

// The type names the validator uses in its type-mismatch arguments.
const char* TypeName(const rapidjson::Value& value) {
    switch (value.GetType()) {
        case rapidjson::kNullType:
            return "null";
        case rapidjson::kFalseType:
        case rapidjson::kTrueType:
            return "boolean";
        case rapidjson::kObjectType:
            return "object";
        case rapidjson::kArrayType:
            return "array";
        case rapidjson::kStringType:
            return "string";
        case rapidjson::kNumberType:
            break;
    }
    return value.IsInt64() || value.IsUint64() ? "integer" : "number";
}

std::string NameOf(const rapidjson::Value& name) {
    return std::string(name.GetString(), name.GetStringLength());
}

// The JSON pointer of the names, as the validator writes fields ("~" and "/" escaped).
std::string FieldOf(const std::vector<const rapidjson::Value*>& names) {
    rapidjson::Pointer pointer;
    for (const rapidjson::Value* name : names) {
        pointer = pointer.Append(name->GetString(), name->GetStringLength());
    }
    rapidjson::StringBuffer buffer;
    pointer.Stringify(buffer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

void AddError(rapidjson::Document& errors, const std::string& field, int code,
              const std::vector<std::string>& args) {
    Allocator& allocator = errors.GetAllocator();
    rapidjson::Value argArray(rapidjson::kArrayType);
    for (const std::string& arg : args) {
        argArray.PushBack(rapidjson::Value(arg, allocator), allocator);
    }
    rapidjson::Value error(rapidjson::kObjectType);
    error.AddMember("field", rapidjson::Value(field, allocator), allocator);
    error.AddMember("errId", code, allocator);
    error.AddMember("errArgs", argArray, allocator);
    errors.PushBack(error, allocator);
}

// True when value is an object; otherwise files a type mismatch at the names' pointer.
bool IsObjectLevel(const rapidjson::Value& value, const std::vector<const rapidjson::Value*>& names,
                   rapidjson::Document& errors) {
    if (value.IsObject()) {
        return true;
    }
    AddError(errors, FieldOf(names), JsonValidator::kTypeMismatch, {"object", TypeName(value)});
    return false;
}

// An empty schema of one document level: an object whose members are listed in "properties".
void InitLevel(rapidjson::Value& level, Allocator& allocator) {
    level.SetObject();
    level.AddMember("type", "object", allocator);
    level.AddMember("properties", rapidjson::Value(rapidjson::kObjectType), allocator);
    level.AddMember("additionalProperties", false, allocator);
}

// The schema of member name of the level, created as an empty level when missing.
rapidjson::Value& SubLevel(rapidjson::Value& level, const rapidjson::Value& name,
                           Allocator& allocator) {
    rapidjson::Value& properties = level["properties"];
    auto member = properties.FindMember(name);
    if (member != properties.MemberEnd()) {
        return member->value;
    }
    rapidjson::Value sub;
    InitLevel(sub, allocator);
    properties.AddMember(rapidjson::Value(name, allocator), sub, allocator);
    return (properties.MemberEnd() - 1)->value;
}

void AppendUriEscaped(std::string& out, const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out += {'%', kHex[c >> 4], kHex[c & 15]};
        }
    }
}

// The base URI given to a key's definition, so that its own "#/..." references resolve
// within the definition once it sits inside the document schema.
std::string KeyUri(const SchemaObjectId& id) {
    std::string uri = "tarn-key:";
    AppendUriEscaped(uri, id.GetComponent());
    uri += '/';
    AppendUriEscaped(uri, id.GetGroup());
    uri += '/';
    AppendUriEscaped(uri, id.GetKey());
    return uri;
}

// The key's value schema: its definition, or an array of such instances for a multi-instance
// key, with "instanceId" naming the property that identifies an instance.
rapidjson::Value KeySchema(const SchemaObject& object, Allocator& allocator) {
    rapidjson::Value definition(object.GetDefinition(), allocator);
    if (definition.IsObject() && !definition.HasMember("id")) {
        definition.AddMember("id", rapidjson::Value(KeyUri(object.GetId()), allocator), allocator);
    }
    if (!object.IsMultiInstance()) {
        return definition;
    }
    rapidjson::Value array(rapidjson::kObjectType);
    array.AddMember("type", "array", allocator);
    array.AddMember("instanceId", rapidjson::Value(object.GetInstanceKey(), allocator), allocator);
    array.AddMember("items", definition, allocator);
    return array;
}

void AddKey(rapidjson::Value& groupSchema, const SchemaObjectId& id,
            std::vector<const rapidjson::Value*>& names, const SchemaCache* cache,
            rapidjson::Document& schema, rapidjson::Document& errors) {
    rapidjson::Value& properties = groupSchema["properties"];
    const rapidjson::Value& key = *names.back();
    if (properties.HasMember(key)) {
        return;
    }
    std::shared_ptr<SchemaObject> object = cache ? cache->Find(id) : nullptr;
    if (!object) {
        AddError(errors, FieldOf(names), JsonValidator::kSchemaNotFound,
                 {id.GetComponent(), id.GetGroup(), id.GetKey()});
        return;
    }
    Allocator& allocator = schema.GetAllocator();
    properties.AddMember(rapidjson::Value(key, allocator), KeySchema(*object, allocator),
                         allocator);
}

void AddGroup(const rapidjson::Value& group, rapidjson::Value& groupSchema,
              std::vector<const rapidjson::Value*>& names, const SchemaCache* cache,
              rapidjson::Document& schema, rapidjson::Document& errors) {
    std::string component = NameOf(*names[0]);
    std::string groupName = NameOf(*names[1]);
    for (const auto& key : group.GetObject()) {
        names.push_back(&key.name);
        AddKey(groupSchema, SchemaObjectId(component, groupName, NameOf(key.name)), names, cache,
               schema, errors);
        names.pop_back();
    }
}

}  // namespace

void GenerateSchemaDocument(const rapidjson::Value& value,
                            const std::shared_ptr<const SchemaCache>& cache,
                            rapidjson::Document& schema, rapidjson::Document& errors) {
    if (!errors.IsArray()) {
        errors.SetArray();
    }
    Allocator& allocator = schema.GetAllocator();
    if (schema.IsNull()) {
        InitLevel(schema, allocator);
    }
    std::vector<const rapidjson::Value*> names;
    if (!IsObjectLevel(value, names, errors)) {
        return;
    }
    for (const auto& component : value.GetObject()) {
        names.assign({&component.name});
        if (!IsObjectLevel(component.value, names, errors)) {
            continue;
        }
        rapidjson::Value& componentSchema = SubLevel(schema, component.name, allocator);
        for (const auto& group : component.value.GetObject()) {
            names.assign({&component.name, &group.name});
            if (IsObjectLevel(group.value, names, errors)) {
                AddGroup(group.value, SubLevel(componentSchema, group.name, allocator), names,
                         cache.get(), schema, errors);
            }
        }
    }
}

}  // namespace TarnSchemaStore
