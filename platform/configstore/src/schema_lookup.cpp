#include "schema_lookup.h"

namespace ConfigStoreDocument {

namespace {

const rapidjson::Value kNull;

bool IsArraySchema(const rapidjson::Value& schema) {
    const rapidjson::Value& type = SchemaMember(schema, "type");
    return type.IsString() && type == "array";
}

}  // namespace

const rapidjson::Value& SchemaMember(const rapidjson::Value& schema, const char* name) {
    if (!schema.IsObject()) {
        return kNull;
    }
    auto member = schema.FindMember(name);
    return member == schema.MemberEnd() ? kNull : member->value;
}

const rapidjson::Value& ObjectSchema(const rapidjson::Value& schema) {
    return IsArraySchema(schema) ? SchemaMember(schema, "items") : schema;
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
