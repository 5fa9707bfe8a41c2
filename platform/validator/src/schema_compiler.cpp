#include "schema_compiler.h"

#include <algorithm>

#include "tarn/validator/json_validator.h"

namespace TarnValidator {

namespace {

// How many "$ref"s in a row the union detection follows to reach a branch's schema.
constexpr int kMaxRefChain = 32;

const SchemaNode* FollowRefs(const SchemaNode* node) {
    for (int i = 0; node && node->hasRef && i < kMaxRefChain; ++i) {
        node = node->ref;
    }
    return node && !node->hasRef ? node : nullptr;
}

bool IsObjectArray(const rapidjson::Value& value) {
    return value.IsArray() && !value.Empty() &&
           std::all_of(value.Begin(), value.End(),
                       [](const rapidjson::Value& element) { return element.IsObject(); });
}

bool IsObjectOfObjects(const rapidjson::Value& value) {
    return value.IsObject() &&
           std::all_of(value.MemberBegin(), value.MemberEnd(),
                       [](const auto& member) { return member.value.IsObject(); });
}

unsigned TypeBitNamed(std::string_view name) {
    static const struct {
        const char* name;
        unsigned bit;
    } kTypes[] = {{"null", kNullType},     {"boolean", kBooleanType}, {"integer", kIntegerType},
                  {"number", kNumberType}, {"string", kStringType},   {"array", kArrayType},
                  {"object", kObjectType}};
    for (const auto& type : kTypes) {
        if (name == type.name) {
            return type.bit;
        }
    }
    return 0;
}

std::string_view ViewOf(const rapidjson::Value& string) {
    return std::string_view(string.GetString(), string.GetStringLength());
}

}  // namespace

// One entry per keyword the validator knows; compile returns false when the keyword's value
// is not valid, which files an "invalid keyword" defect and leaves the keyword out.
struct CompiledSchema::Keyword {
    const char* name;
    bool (*compile)(CompiledSchema& self, SchemaNode& node, const rapidjson::Value& value);

    static const Keyword* Find(std::string_view name);

    static bool Annotation(CompiledSchema&, SchemaNode&, const rapidjson::Value& value) {
        return value.IsString();
    }
    static bool AnyValue(CompiledSchema&, SchemaNode&, const rapidjson::Value&) { return true; }
    static bool Definitions(CompiledSchema&, SchemaNode&, const rapidjson::Value& value) {
        return IsObjectOfObjects(value);  // compiled only when a reference reaches them
    }

    static bool Type(CompiledSchema&, SchemaNode& node, const rapidjson::Value& value) {
        unsigned types = 0;
        if (value.IsString()) {
            types = TypeBitNamed(ViewOf(value));
        } else if (value.IsArray() && !value.Empty()) {
            for (const auto& name : value.GetArray()) {
                unsigned bit = name.IsString() ? TypeBitNamed(ViewOf(name)) : 0;
                if (bit == 0) {
                    return false;
                }
                types |= bit;
            }
        }
        if (types != 0) {
            node.types = types;
        }
        return types != 0;
    }

    static bool Enum(CompiledSchema&, SchemaNode& node, const rapidjson::Value& value) {
        bool valid = value.IsArray() && !value.Empty();
        node.enumValues = valid ? &value : nullptr;
        return valid;
    }

    template <uint64_t SchemaNode::*field>
    static bool Count(CompiledSchema&, SchemaNode& node, const rapidjson::Value& value) {
        if (value.IsUint64()) {
            node.*field = value.GetUint64();
        }
        return value.IsUint64();
    }

    template <const rapidjson::Value* SchemaNode::*field>
    static bool Limit(CompiledSchema&, SchemaNode& node, const rapidjson::Value& value) {
        node.*field = value.IsNumber() ? &value : nullptr;
        return value.IsNumber();
    }

    template <bool SchemaNode::*field>
    static bool Flag(CompiledSchema&, SchemaNode& node, const rapidjson::Value& value) {
        node.*field = value.IsBool() && value.GetBool();
        return value.IsBool();
    }

    static bool MultipleOf(CompiledSchema&, SchemaNode& node, const rapidjson::Value& value) {
        bool valid = value.IsNumber() && value.GetDouble() > 0;
        node.multipleOf = valid ? &value : nullptr;
        return valid;
    }

    static bool Pattern(CompiledSchema&, SchemaNode& node, const rapidjson::Value& value) {
        if (!value.IsString()) {
            return false;
        }
        auto regex = EcmaRegex::Get(ViewOf(value));
        if (regex->status() != EcmaRegex::Status::kOk) {
            return false;
        }
        node.pattern = std::move(regex);
        node.patternText = ViewOf(value);
        return true;
    }

    static bool Format(CompiledSchema&, SchemaNode& node, const rapidjson::Value& value) {
        if (value.IsString()) {
            node.hasFormat = true;
            node.formatName = ViewOf(value);
            node.format = StringFormatNamed(node.formatName);
        }
        return value.IsString();
    }

    static bool Items(CompiledSchema& self, SchemaNode& node, const rapidjson::Value& value) {
        if (value.IsObject()) {
            node.items = self.NodeFor(value, self.scope_);
            return true;
        }
        if (!IsObjectArray(value) && !(value.IsArray() && value.Empty())) {
            return false;
        }
        node.hasTupleItems = true;
        for (const auto& item : value.GetArray()) {
            node.tupleItems.push_back(self.NodeFor(item, self.scope_));
        }
        return true;
    }

    // additionalItems and additionalProperties: true, false or a schema.
    template <Extra SchemaNode::*mode, const SchemaNode* SchemaNode::*schema>
    static bool Additional(CompiledSchema& self, SchemaNode& node, const rapidjson::Value& value) {
        if (value.IsBool()) {
            node.*mode = value.GetBool() ? Extra::kAllowed : Extra::kForbidden;
            return true;
        }
        if (value.IsObject()) {
            node.*mode = Extra::kSchema;
            node.*schema = self.NodeFor(value, self.scope_);
            return true;
        }
        return false;
    }

    static bool Properties(CompiledSchema& self, SchemaNode& node, const rapidjson::Value& value) {
        if (!IsObjectOfObjects(value)) {
            return false;
        }
        for (const auto& member : value.GetObject()) {
            node.properties[ViewOf(member.name)].schema = self.NodeFor(member.value, self.scope_);
        }
        return true;
    }

    static bool PatternProperties(CompiledSchema& self, SchemaNode& node,
                                  const rapidjson::Value& value) {
        if (!IsObjectOfObjects(value)) {
            return false;
        }
        std::vector<PatternRule> rules;
        for (const auto& member : value.GetObject()) {
            auto regex = EcmaRegex::Get(ViewOf(member.name));
            if (regex->status() != EcmaRegex::Status::kOk) {
                return false;
            }
            rules.push_back({std::move(regex), self.NodeFor(member.value, self.scope_)});
        }
        node.patternProperties = std::move(rules);
        return true;
    }

    static bool Required(CompiledSchema&, SchemaNode& node, const rapidjson::Value& value) {
        if (!value.IsArray() ||
            !std::all_of(value.Begin(), value.End(),
                         [](const rapidjson::Value& name) { return name.IsString(); })) {
            return false;
        }
        for (const auto& name : value.GetArray()) {
            PropertyRule& rule = node.properties[ViewOf(name)];
            if (rule.requiredIndex < 0) {
                rule.requiredIndex = static_cast<int>(node.required.size());
                node.required.push_back(ViewOf(name));
            }
        }
        return true;
    }

    static bool Dependencies(CompiledSchema& self, SchemaNode& node,
                             const rapidjson::Value& value) {
        if (!value.IsObject()) {
            return false;
        }
        for (const auto& member : value.GetObject()) {
            const rapidjson::Value& rule = member.value;
            bool names = rule.IsArray() &&
                         std::all_of(rule.Begin(), rule.End(),
                                     [](const rapidjson::Value& name) { return name.IsString(); });
            if (!names && !rule.IsObject()) {
                return false;
            }
        }
        for (const auto& member : value.GetObject()) {
            DependencyRule rule{ViewOf(member.name)};
            if (member.value.IsObject()) {
                rule.schema = self.NodeFor(member.value, self.scope_);
            } else {
                rule.names = &member.value;
            }
            node.dependencies.push_back(rule);
        }
        return true;
    }

    template <std::vector<const SchemaNode*> SchemaNode::*field>
    static bool Branches(CompiledSchema& self, SchemaNode& node, const rapidjson::Value& value) {
        if (!IsObjectArray(value)) {
            return false;
        }
        for (const auto& branch : value.GetArray()) {
            (node.*field).push_back(self.NodeFor(branch, self.scope_));
        }
        return true;
    }

    static bool Not(CompiledSchema& self, SchemaNode& node, const rapidjson::Value& value) {
        node.notSchema = value.IsObject() ? self.NodeFor(value, self.scope_) : nullptr;
        return value.IsObject();
    }
};

const CompiledSchema::Keyword* CompiledSchema::Keyword::Find(std::string_view name) {
    using K = Keyword;
    static const Keyword kKeywords[] = {
        {"id", K::Annotation},
        {"$schema", K::Annotation},
        {"title", K::Annotation},
        {"description", K::Annotation},
        {"default", K::AnyValue},
        {"definitions", K::Definitions},
        {"type", K::Type},
        {"enum", K::Enum},
        {"minLength", K::Count<&SchemaNode::minLength>},
        {"maxLength", K::Count<&SchemaNode::maxLength>},
        {"pattern", K::Pattern},
        {"format", K::Format},
        {"minimum", K::Limit<&SchemaNode::minimum>},
        {"maximum", K::Limit<&SchemaNode::maximum>},
        {"exclusiveMinimum", K::Flag<&SchemaNode::exclusiveMinimum>},
        {"exclusiveMaximum", K::Flag<&SchemaNode::exclusiveMaximum>},
        {"multipleOf", K::MultipleOf},
        {"items", K::Items},
        {"additionalItems",
         K::Additional<&SchemaNode::additionalItems, &SchemaNode::additionalItemsSchema>},
        {"minItems", K::Count<&SchemaNode::minItems>},
        {"maxItems", K::Count<&SchemaNode::maxItems>},
        {"uniqueItems", K::Flag<&SchemaNode::uniqueItems>},
        {"properties", K::Properties},
        {"patternProperties", K::PatternProperties},
        {"additionalProperties",
         K::Additional<&SchemaNode::additionalProperties, &SchemaNode::additionalPropertiesSchema>},
        {"required", K::Required},
        {"minProperties", K::Count<&SchemaNode::minProperties>},
        {"maxProperties", K::Count<&SchemaNode::maxProperties>},
        {"dependencies", K::Dependencies},
        {"allOf", K::Branches<&SchemaNode::allOf>},
        {"anyOf", K::Branches<&SchemaNode::anyOf>},
        {"oneOf", K::Branches<&SchemaNode::oneOf>},
        {"not", K::Not},
    };
    for (const Keyword& keyword : kKeywords) {
        if (name == keyword.name) {
            return &keyword;
        }
    }
    return nullptr;
}

CompiledSchema::CompiledSchema(const rapidjson::Value& root) : resolver_(root) {
    root_ = NodeFor(root, std::string());
    while (!pending_.empty()) {
        Pending next = std::move(pending_.back());
        pending_.pop_back();
        Compile(next);
    }
    for (SchemaNode& node : nodes_) {
        FindUnion(node);
    }
}

SchemaNode* CompiledSchema::NodeFor(const rapidjson::Value& schema,
                                    const std::string& enclosingBase) {
    auto found = nodeOf_.find(&schema);
    if (found != nodeOf_.end()) {
        return found->second;
    }
    SchemaNode* node = &nodes_.emplace_back();
    nodeOf_.emplace(&schema, node);
    pending_.push_back({node, &schema, enclosingBase});
    return node;
}

void CompiledSchema::Compile(const Pending& pending) {
    SchemaNode& node = *pending.node;
    const rapidjson::Value& schema = *pending.schema;
    scope_ = SchemaResolver::ScopeOf(schema, pending.enclosingBase);
    auto ref = schema.FindMember("$ref");
    if (ref != schema.MemberEnd() && ref->value.IsString()) {
        CompileRef(node, ref->value);
        return;
    }
    for (const auto& member : schema.GetObject()) {
        std::string_view name = ViewOf(member.name);
        const Keyword* keyword = Keyword::Find(name);
        if (!keyword) {
            node.defects.push_back({JsonValidator::kUnknownKeyword, name});
        } else if (!keyword->compile(*this, node, member.value)) {
            node.defects.push_back({JsonValidator::kInvalidKeyword, name});
        }
    }
    if (ref != schema.MemberEnd()) {
        node.defects.push_back({JsonValidator::kInvalidKeyword, "$ref"});
    }
    node.hasStringRules =
        node.minLength > 0 || node.maxLength != kNoLimit || node.pattern || node.hasFormat;
    node.hasNumberRules = node.minimum || node.maximum || node.multipleOf;
    node.hasArrayRules = node.items || node.hasTupleItems || node.minItems > 0 ||
                         node.maxItems != kNoLimit || node.uniqueItems;
    node.hasObjectRules = !node.properties.empty() || !node.patternProperties.empty() ||
                          node.additionalProperties != Extra::kAllowed || node.minProperties > 0 ||
                          node.maxProperties != kNoLimit || !node.dependencies.empty();
}

void CompiledSchema::CompileRef(SchemaNode& node, const rapidjson::Value& ref) {
    node.hasRef = true;
    node.refText = ViewOf(ref);
    SchemaResolver::Target target;
    if (resolver_.Resolve(scope_, node.refText, target)) {
        node.ref = NodeFor(*target.schema, target.enclosingBase);
    } else {
        unresolved_ = true;
    }
}

void CompiledSchema::FindUnion(SchemaNode& node) {
    if (node.oneOf.size() < 2) {
        return;
    }
    std::vector<const SchemaNode*> branches;
    for (const SchemaNode* branch : node.oneOf) {
        branches.push_back(FollowRefs(branch));
        if (!branches.back()) {
            return;
        }
    }
    for (std::string_view tag : branches[0]->required) {
        std::vector<const rapidjson::Value*> values;
        for (const SchemaNode* branch : branches) {
            auto rule = branch->properties.find(tag);
            const SchemaNode* tagSchema =
                rule == branch->properties.end() || rule->second.requiredIndex < 0
                    ? nullptr
                    : rule->second.schema;
            if (!tagSchema || tagSchema->hasRef || !tagSchema->enumValues) {
                break;
            }
            values.push_back(tagSchema->enumValues);
        }
        if (values.size() == branches.size()) {
            node.unionTag = tag;
            node.unionTagValues = std::move(values);
            return;
        }
    }
}

}  // namespace TarnValidator
