// SchemaNode: one schema object of a draft-04 schema, compiled for validation: keywords read
// once into typed fields, subschemas and "$ref" targets linked as pointers to other nodes
// (the graph may have cycles), patterns compiled. Text is viewed, not copied: the nodes live
// no longer than the schema documents they were compiled from. Owned by a CompiledSchema;
// read-only once compiled.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ecma_regex.h"
#include "string_formats.h"
#include "tarn/json/json.h"

namespace TarnValidator {

// The JSON types of the "type" keyword, as bits.
enum JsonTypeBit : unsigned {
    kNullType = 1,
    kBooleanType = 2,
    kIntegerType = 4,
    kNumberType = 8,
    kStringType = 16,
    kArrayType = 32,
    kObjectType = 64,
    kAnyType = 127,
};

constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

struct SchemaNode;

// What additionalProperties / additionalItems say about members or items no other keyword
// covers.
enum class Extra { kAllowed, kForbidden, kSchema };

struct PropertyRule {
    const SchemaNode* schema = nullptr;  // from "properties"; nullptr when only required
    int requiredIndex = -1;              // position in SchemaNode::required, -1 when optional
};

struct PatternRule {
    std::shared_ptr<const EcmaRegex> regex;
    const SchemaNode* schema = nullptr;
};

struct DependencyRule {
    std::string_view name;
    const SchemaNode* schema = nullptr;       // schema dependency
    const rapidjson::Value* names = nullptr;  // property dependency: array of strings
};

// A keyword the validator ignored: unknown (code 0) or with an invalid value (code 8).
struct SchemaDefect {
    int code;
    std::string_view keyword;
};

struct SchemaNode {
    // "$ref": when present every other keyword is ignored. ref stays nullptr when the target
    // cannot be resolved.
    bool hasRef = false;
    const SchemaNode* ref = nullptr;
    std::string_view refText;

    std::vector<SchemaDefect> defects;
    unsigned types = kAnyType;
    const rapidjson::Value* enumValues = nullptr;

    // Strings.
    uint64_t minLength = 0;
    uint64_t maxLength = kNoLimit;
    std::shared_ptr<const EcmaRegex> pattern;
    std::string_view patternText;
    bool hasFormat = false;
    StringFormat format = StringFormat::kUnknown;
    std::string_view formatName;

    // Numbers: the limits point at the schema's own number values.
    const rapidjson::Value* minimum = nullptr;
    const rapidjson::Value* maximum = nullptr;
    bool exclusiveMinimum = false;
    bool exclusiveMaximum = false;
    const rapidjson::Value* multipleOf = nullptr;

    // Arrays.
    const SchemaNode* items = nullptr;  // one schema for every item
    std::vector<const SchemaNode*> tupleItems;
    bool hasTupleItems = false;
    Extra additionalItems = Extra::kAllowed;
    const SchemaNode* additionalItemsSchema = nullptr;
    uint64_t minItems = 0;
    uint64_t maxItems = kNoLimit;
    bool uniqueItems = false;

    // Objects.
    std::unordered_map<std::string_view, PropertyRule> properties;
    std::vector<std::string_view> required;  // without repeats
    std::vector<PatternRule> patternProperties;
    Extra additionalProperties = Extra::kAllowed;
    const SchemaNode* additionalPropertiesSchema = nullptr;
    uint64_t minProperties = 0;
    uint64_t maxProperties = kNoLimit;
    std::vector<DependencyRule> dependencies;

    // Combinations.
    std::vector<const SchemaNode*> allOf;
    std::vector<const SchemaNode*> anyOf;
    std::vector<const SchemaNode*> oneOf;
    const SchemaNode* notSchema = nullptr;

    // The union construct: a "oneOf" whose branches all require unionTag and list its values
    // in an "enum"; unionTagValues[i] is that enum array of branch i.
    std::string_view unionTag;
    std::vector<const rapidjson::Value*> unionTagValues;

    // Quick tests that spare the per-type checks when a schema has none for that type.
    bool hasStringRules = false;
    bool hasNumberRules = false;
    bool hasArrayRules = false;
    bool hasObjectRules = false;
};

}  // namespace TarnValidator
