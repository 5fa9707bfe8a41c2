// IsEqualValue and IsEqualPrimitiveArray: equality of configuration, not of JSON text.
#include <cstring>
#include <vector>

#include "schema_lookup.h"
#include "tarn/configstore/config_store_document.h"

namespace ConfigStoreDocument {

namespace {

bool Equal(const rapidjson::Value& a, const rapidjson::Value& b, const rapidjson::Value& schema);

bool NumbersEqual(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (a.IsDouble() || b.IsDouble()) {
        return a.GetDouble() == b.GetDouble();
    }
    if (a.IsInt64() && b.IsInt64()) {
        return a.GetInt64() == b.GetInt64();
    }
    return a.IsUint64() && b.IsUint64() && a.GetUint64() == b.GetUint64();
}

// A member only one side has still matches when its value is the property's default.
bool MatchesDefault(const rapidjson::Value& value, const rapidjson::Value& propertySchema) {
    if (!propertySchema.IsObject()) {
        return false;
    }
    auto found = propertySchema.FindMember("default");
    return found != propertySchema.MemberEnd() && Equal(value, found->value, propertySchema);
}

// Every member of a (but "cs_generated_id") equals b's, or b's default when b lacks it.
bool MembersCovered(const rapidjson::Value& a, const rapidjson::Value& b,
                    const rapidjson::Value& schema) {
    for (const auto& member : a.GetObject()) {
        if (IsGeneratedIdName(member.name)) {
            continue;
        }
        const rapidjson::Value& propertySchema = PropertySchema(schema, member.name);
        auto other = b.FindMember(member.name);
        bool same = other == b.MemberEnd() ? MatchesDefault(member.value, propertySchema)
                                           : Equal(member.value, other->value, propertySchema);
        if (!same) {
            return false;
        }
    }
    return true;
}

bool ObjectsEqual(const rapidjson::Value& a, const rapidjson::Value& b,
                  const rapidjson::Value& schema) {
    const rapidjson::Value& objectSchema = ObjectSchema(schema);
    return MembersCovered(a, b, objectSchema) && MembersCovered(b, a, objectSchema);
}

// Each element of a matched with a distinct equal element of b.
bool MultisetsEqual(const rapidjson::Value& a, const rapidjson::Value& b,
                    const rapidjson::Value& itemSchema) {
    if (a.Size() != b.Size()) {
        return false;
    }
    std::vector<bool> used(b.Size(), false);
    for (const auto& element : a.GetArray()) {
        rapidjson::SizeType j = 0;
        while (j < b.Size() && (used[j] || !Equal(element, b[j], itemSchema))) {
            ++j;
        }
        if (j == b.Size()) {
            return false;
        }
        used[j] = true;
    }
    return true;
}

// Identified instances and plain values are sets of configuration; anything else is a list.
bool OrderCounts(const rapidjson::Value& schema) {
    const rapidjson::Value& items = SchemaMember(schema, "items");
    const rapidjson::Value& type = SchemaMember(items, "type");
    if (!type.IsString()) {
        return true;
    }
    if (type == "object") {
        return !SchemaMember(schema, "instanceId").IsString();
    }
    return type == "array";
}

bool ArraysEqual(const rapidjson::Value& a, const rapidjson::Value& b,
                 const rapidjson::Value& schema) {
    const rapidjson::Value& items = SchemaMember(schema, "items");
    if (!OrderCounts(schema)) {
        return MultisetsEqual(a, b, items);
    }
    if (a.Size() != b.Size()) {
        return false;
    }
    for (rapidjson::SizeType i = 0; i < a.Size(); ++i) {
        if (!Equal(a[i], b[i], items)) {
            return false;
        }
    }
    return true;
}

bool Equal(const rapidjson::Value& a, const rapidjson::Value& b, const rapidjson::Value& schema) {
    if (a.IsNumber() && b.IsNumber()) {
        return NumbersEqual(a, b);
    }
    if (a.GetType() != b.GetType()) {
        return false;
    }
    switch (a.GetType()) {
        case rapidjson::kStringType:
            return a.GetStringLength() == b.GetStringLength() &&
                   std::memcmp(a.GetString(), b.GetString(), a.GetStringLength()) == 0;
        case rapidjson::kObjectType:
            return ObjectsEqual(a, b, schema);
        case rapidjson::kArrayType:
            return ArraysEqual(a, b, schema);
        default:
            return true;  // null, true, false: the type is the value
    }
}

}  // namespace

bool IsEqualValue(const rapidjson::Value& a, const rapidjson::Value& b,
                  const rapidjson::Value& definition) {
    return Equal(a, b, definition);
}

bool IsEqualPrimitiveArray(const rapidjson::Value& a, const rapidjson::Value& b) {
    static const rapidjson::Value kNoSchema;
    return a.IsArray() && b.IsArray() && MultisetsEqual(a, b, kNoSchema);
}

}  // namespace ConfigStoreDocument
