#include "schema_lookup.h"

#include <string_view>

namespace ConfigStoreDocument {

namespace {

const rapidjson::Value kNull;

}  // namespace

const rapidjson::Value& SchemaMember(const rapidjson::Value& schema, const char* name) {
    if (!schema.IsObject()) {
        return kNull;
    }
    auto member = schema.FindMember(name);
    return member == schema.MemberEnd() ? kNull : member->value;
}

// Runs once per object value: "type" and "items" are found in one pass over the schema.
const rapidjson::Value& ObjectSchema(const rapidjson::Value& schema) {
    if (!schema.IsObject()) {
        return schema;
    }
    const rapidjson::Value* type = nullptr;
    const rapidjson::Value* items = nullptr;
    for (const auto& member : schema.GetObject()) {
        std::string_view name(member.name.GetString(), member.name.GetStringLength());
        if (!type && name == "type") {
            type = &member.value;
        } else if (!items && name == "items") {
            items = &member.value;
        }
    }
    bool isArray = type && type->IsString() && *type == "array";
    return !isArray ? schema : items ? *items : kNull;
}

const rapidjson::Value& PropertySchema(const rapidjson::Value& objectSchema,
                                       const rapidjson::Value& name) {
    const rapidjson::Value& properties = SchemaMember(objectSchema, "properties");
    if (properties.IsObject()) {
        auto member = properties.FindMember(name);
        if (member != properties.MemberEnd()) {
            return member->value;
        }
    }
    const rapidjson::Value& additional = SchemaMember(objectSchema, "additionalProperties");
    return additional.IsObject() ? additional : kNull;
}

}  // namespace ConfigStoreDocument
