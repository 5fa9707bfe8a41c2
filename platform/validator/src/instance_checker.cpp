#include "instance_checker.h"

#include <algorithm>
#include <functional>

#include "number_checks.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "tarn/validator/json_validator.h"
#include "utf8.h"

namespace TarnValidator {
namespace {

using Args = std::vector<std::string>;

// Configuration documents nest component, group and key: keys sit at depth 3.
constexpr unsigned kDocumentKeyDepth = 3;
constexpr char kDeleteDefault[] = "DELETE_DEFAULT";
// Value texts in arguments are cut to this many bytes.
constexpr size_t kMaxValueText = 200;
// Arrays up to this size are checked for repeats pairwise, larger ones through hashes.
constexpr rapidjson::SizeType kPairwiseUniqueLimit = 32;

std::string_view ViewOf(const rapidjson::Value& string) {
    return std::string_view(string.GetString(), string.GetStringLength());
}

bool HasMember(const rapidjson::Value& object, std::string_view name) {
    rapidjson::Value key(rapidjson::StringRef(name.data(), name.size()));
    return object.FindMember(key) != object.MemberEnd();
}

// Compact JSON text of value, cut short at a code point boundary when long.
std::string ValueText(const rapidjson::Value& value) {
    std::string text;
    try {
        TarnConfigStore::WriteJsonText(value, text);
    } catch (const TarnConfigStore::ConfigStoreException&) {
        return "(value not printable)";
    }
    if (text.size() > kMaxValueText) {
        size_t cut = kMaxValueText;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        text.erase(cut).append("...");
    }
    return text;
}

unsigned TypeBitOf(const rapidjson::Value& value) {
    switch (value.GetType()) {
        case rapidjson::kNullType:
            return kNullType;
        case rapidjson::kFalseType:
        case rapidjson::kTrueType:
            return kBooleanType;
        case rapidjson::kNumberType:
            return IsIntegerNumber(value) ? kIntegerType : kNumberType;
        case rapidjson::kStringType:
            return kStringType;
        case rapidjson::kArrayType:
            return kArrayType;
        default:
            return kObjectType;
    }
}

// Names of the types in mask, "integer or string".
std::string TypeNames(unsigned mask) {
    static const char* const kNames[] = {"null",   "boolean", "integer", "number",
                                         "string", "array",   "object"};
    std::string out;
    for (unsigned i = 0; i < 7; ++i) {
        if (mask & (1u << i)) {
            out.append(out.empty() ? "" : " or ").append(kNames[i]);
        }
    }
    return out;
}

// A hash that agrees with rapidjson's equality: numbers hash by their double value, members
// in any order.
size_t HashOf(const rapidjson::Value& value) {
    switch (value.GetType()) {
        case rapidjson::kNumberType: {
            double number = value.GetDouble();
            return std::hash<double>()(number == 0 ? 0.0 : number);
        }
        case rapidjson::kStringType:
            return std::hash<std::string_view>()(ViewOf(value));
        case rapidjson::kArrayType: {
            size_t hash = 0x9E3779B9u;
            for (const auto& item : value.GetArray()) {
                hash = hash * 31 + HashOf(item);
            }
            return hash;
        }
        case rapidjson::kObjectType: {
            size_t hash = 0x7F4A7C15u;
            for (const auto& member : value.GetObject()) {
                hash +=
                    std::hash<std::string_view>()(ViewOf(member.name)) * 31 ^ HashOf(member.value);
            }
            return hash;
        }
        default:
            return static_cast<size_t>(value.GetType());
    }
}

using ItemRepeat = std::pair<rapidjson::SizeType, rapidjson::SizeType>;  // (later, earlier)

// Finds, among the items at the given indexes (in increasing order), each item that equals an
// earlier one, paired with the first item it repeats.
bool FindRepeatsAmong(const rapidjson::Value& array, const rapidjson::SizeType* indexes,
                      size_t count, bool firstOnly, std::vector<ItemRepeat>& repeats) {
    for (size_t j = 1; j < count; ++j) {
        for (size_t i = 0; i < j; ++i) {
            if (array[indexes[i]] == array[indexes[j]]) {
                repeats.emplace_back(indexes[j], indexes[i]);
                if (firstOnly) {
                    return true;
                }
                break;
            }
        }
    }
    return false;
}

// The repeated items of array, ordered by the later index. Small arrays are compared pairwise;
// larger ones only within groups of equal hash.
std::vector<ItemRepeat> FindRepeats(const rapidjson::Value& array, bool firstOnly) {
    std::vector<ItemRepeat> repeats;
    rapidjson::SizeType size = array.Size();
    if (size <= kPairwiseUniqueLimit) {
        rapidjson::SizeType indexes[kPairwiseUniqueLimit];
        for (rapidjson::SizeType i = 0; i < size; ++i) {
            indexes[i] = i;
        }
        FindRepeatsAmong(array, indexes, size, firstOnly, repeats);
        return repeats;
    }
    std::vector<std::pair<size_t, rapidjson::SizeType>> keyed;
    keyed.reserve(size);
    for (rapidjson::SizeType i = 0; i < size; ++i) {
        keyed.emplace_back(HashOf(array[i]), i);
    }
    std::sort(keyed.begin(), keyed.end());
    std::vector<rapidjson::SizeType> group;
    for (size_t start = 0, end = 0; start < keyed.size(); start = end) {
        group.clear();
        for (end = start; end < keyed.size() && keyed[end].first == keyed[start].first; ++end) {
            group.push_back(keyed[end].second);
        }
        if (FindRepeatsAmong(array, group.data(), group.size(), firstOnly, repeats)) {
            break;
        }
    }
    std::sort(repeats.begin(), repeats.end());
    return repeats;
}

// Records a failed step: clears ok, and tells a probe (which needs only a yes or no) to stop.
inline bool StopAfter(bool passed, bool& ok, bool probing) {
    if (!passed) {
        ok = false;
    }
    return !ok && probing;
}

void AppendPointerToken(std::string& out, std::string_view token) {
    for (char c : token) {
        if (c == '~') {
            out.append("~0");
        } else if (c == '/') {
            out.append("~1");
        } else {
            out.push_back(c);
        }
    }
}

}  // namespace

InstanceChecker::InstanceChecker(const CheckOptions& options,
                                 std::vector<ValidationFinding>& findings)
    : options_(options), findings_(findings) {
    activeRefs_.reserve(64);
}

bool InstanceChecker::SwitchedOff(int code) const {
    return code >= 0 && code < 64 && ((options_.switchedOff >> code) & 1u);
}

template <typename MakeArgs>
bool InstanceChecker::Fail(int code, const PathFrame& at, MakeArgs&& makeArgs,
                           const std::string_view* child) {
    if (SwitchedOff(code)) {
        return false;
    }
    if (probing_ == 0) {
        findings_.push_back(ValidationFinding{code, FieldOf(at, child), makeArgs()});
    }
    return true;
}

std::string InstanceChecker::FieldOf(const PathFrame& at, const std::string_view* child) const {
    std::vector<const PathFrame*> chain;
    for (const PathFrame* frame = &at; frame->parent; frame = frame->parent) {
        chain.push_back(frame);
    }
    std::string field = options_.fieldPrefix;
    for (auto frame = chain.rbegin(); frame != chain.rend(); ++frame) {
        field.push_back('/');
        if ((*frame)->name) {
            AppendPointerToken(field, ViewOf(*(*frame)->name));
        } else {
            field.append(std::to_string((*frame)->index));
        }
    }
    if (child) {
        field.push_back('/');
        AppendPointerToken(field, *child);
    }
    return field;
}

bool InstanceChecker::Check(const SchemaNode& node, const rapidjson::Value& value,
                            const PathFrame& at) {
    if (nesting_ >= kMaxNesting) {
        return !Fail(JsonValidator::kNestingTooDeep, at,
                     [] { return Args{std::to_string(kMaxNesting)}; });
    }
    ++nesting_;
    bool ok = node.hasRef ? CheckRef(node, value, at) : CheckKeywords(node, value, at);
    --nesting_;
    return ok;
}

bool InstanceChecker::Probe(const SchemaNode& node, const rapidjson::Value& value,
                            const PathFrame& at) {
    ++probing_;
    bool ok = Check(node, value, at);
    --probing_;
    return ok;
}

bool InstanceChecker::CheckRef(const SchemaNode& node, const rapidjson::Value& value,
                               const PathFrame& at) {
    const auto refArgs = [&] { return Args{std::string(node.refText)}; };
    if (!node.ref) {
        return !Fail(JsonValidator::kUnresolvedReference, at, refArgs);
    }
    // References applied to this same value are the innermost ones; meeting the same target
    // among them again means a cycle that never descends into the value.
    for (auto active = activeRefs_.rbegin();
         active != activeRefs_.rend() && active->second == &value; ++active) {
        if (active->first == node.ref) {
            return !Fail(JsonValidator::kSchemaRecursion, at, refArgs);
        }
    }
    activeRefs_.emplace_back(node.ref, &value);
    bool ok = Check(*node.ref, value, at);
    activeRefs_.pop_back();
    return ok;
}

bool InstanceChecker::CheckKeywords(const SchemaNode& node, const rapidjson::Value& value,
                                    const PathFrame& at) {
    bool ok = true;
    for (const SchemaDefect& defect : node.defects) {
        bool filed = Fail(defect.code, at, [&] { return Args{std::string(defect.keyword)}; });
        if (StopAfter(!filed, ok, probing_)) {
            return false;
        }
    }
    if (node.types != kAnyType && StopAfter(CheckType(node, value, at), ok, probing_)) {
        return false;
    }
    if (node.enumValues) {
        const auto& allowed = node.enumValues->GetArray();
        bool found = std::any_of(allowed.begin(), allowed.end(),
                                 [&](const rapidjson::Value& entry) { return entry == value; });
        if (!found && StopAfter(!Fail(JsonValidator::kEnumMismatch, at,
                                      [&] { return Args{ValueText(*node.enumValues)}; }),
                                ok, probing_)) {
            return false;
        }
    }
    bool typed = true;
    if (value.IsString() && node.hasStringRules) {
        typed = CheckString(node, value, at);
    } else if (value.IsNumber() && node.hasNumberRules) {
        typed = CheckNumber(node, value, at);
    } else if (value.IsArray() && node.hasArrayRules) {
        typed = CheckArray(node, value, at);
    } else if (value.IsObject() && node.hasObjectRules) {
        typed = CheckObject(node, value, at);
    }
    if (StopAfter(typed, ok, probing_)) {
        return false;
    }
    return CheckCombinations(node, value, at) && ok;
}

bool InstanceChecker::CheckType(const SchemaNode& node, const rapidjson::Value& value,
                                const PathFrame& at) {
    unsigned bit = TypeBitOf(value);
    if ((node.types & bit) || (bit == kIntegerType && (node.types & kNumberType))) {
        return true;
    }
    if ((node.types & kIntegerType) && IsWholeFloat(value)) {
        return !Fail(JsonValidator::kIntegerWrittenAsFloat, at,
                     [&] { return Args{ValueText(value)}; });
    }
    return !Fail(JsonValidator::kTypeMismatch, at, [&] {
        return Args{TypeNames(node.types), TypeNames(bit)};
    });
}

bool InstanceChecker::CheckString(const SchemaNode& node, const rapidjson::Value& value,
                                  const PathFrame& at) {
    std::string_view text = ViewOf(value);
    bool ok = true;
    // A code point takes one to four bytes, so the byte count often settles both limits.
    if ((text.size() > node.maxLength || text.size() / 4 < node.minLength) &&
        StopAfter(CheckCount(CountCodePoints(text), node.minLength, node.maxLength,
                             JsonValidator::kStringTooShort, JsonValidator::kStringTooLong, at),
                  ok, probing_)) {
        return false;
    }
    if (node.pattern && !node.pattern->Search(text) &&
        StopAfter(!Fail(JsonValidator::kPatternMismatch, at,
                        [&] { return Args{std::string(node.patternText)}; }),
                  ok, probing_)) {
        return false;
    }
    if (node.hasFormat) {
        const auto formatArgs = [&] { return Args{std::string(node.formatName)}; };
        if (node.format == StringFormat::kUnknown) {
            ok = !Fail(JsonValidator::kUnknownFormat, at, formatArgs) && ok;
        } else if (!MatchesFormat(node.format, text)) {
            ok = !Fail(JsonValidator::kFormatMismatch, at, formatArgs) && ok;
        }
    }
    return ok;
}

bool InstanceChecker::CheckCount(uint64_t count, uint64_t min, uint64_t max, int tooFew,
                                 int tooMany, const PathFrame& at) {
    if (count < min) {
        return !Fail(tooFew, at, [&] { return Args{std::to_string(min)}; });
    }
    if (count > max) {
        return !Fail(tooMany, at, [&] { return Args{std::to_string(max)}; });
    }
    return true;
}

bool InstanceChecker::CheckNumber(const SchemaNode& node, const rapidjson::Value& value,
                                  const PathFrame& at) {
    bool ok = true;
    if (node.minimum) {
        int order = CompareNumbers(value, *node.minimum);
        if (node.exclusiveMinimum ? order <= 0 : order < 0) {
            int code = node.exclusiveMinimum ? JsonValidator::kNumberNotAboveMinimum
                                             : JsonValidator::kNumberBelowMinimum;
            if (StopAfter(!Fail(code, at, [&] { return Args{ValueText(*node.minimum)}; }), ok,
                          probing_)) {
                return false;
            }
        }
    }
    if (node.maximum) {
        int order = CompareNumbers(value, *node.maximum);
        if (node.exclusiveMaximum ? order >= 0 : order > 0) {
            int code = node.exclusiveMaximum ? JsonValidator::kNumberNotBelowMaximum
                                             : JsonValidator::kNumberAboveMaximum;
            if (StopAfter(!Fail(code, at, [&] { return Args{ValueText(*node.maximum)}; }), ok,
                          probing_)) {
                return false;
            }
        }
    }
    if (node.multipleOf && !IsMultipleOf(value, *node.multipleOf)) {
        ok = !Fail(JsonValidator::kNumberNotMultiple, at, [&] {
            return Args{ValueText(*node.multipleOf)};
        }) && ok;
    }
    return ok;
}

bool InstanceChecker::CheckArray(const SchemaNode& node, const rapidjson::Value& value,
                                 const PathFrame& at) {
    bool ok = true;
    rapidjson::SizeType size = value.Size();
    if (StopAfter(CheckCount(size, node.minItems, node.maxItems, JsonValidator::kTooFewItems,
                             JsonValidator::kTooManyItems, at),
                  ok, probing_)) {
        return false;
    }
    if ((node.items || node.hasTupleItems) &&
        StopAfter(CheckArrayItems(node, value, at), ok, probing_)) {
        return false;
    }
    if (node.uniqueItems && size > 1) {
        ok = CheckUniqueItems(value, at) && ok;
    }
    return ok;
}

bool InstanceChecker::CheckArrayItems(const SchemaNode& node, const rapidjson::Value& value,
                                      const PathFrame& at) {
    bool ok = true;
    for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
        PathFrame item = at.Item(i);
        const SchemaNode* schema = node.items;
        if (node.hasTupleItems) {
            if (i < node.tupleItems.size()) {
                schema = node.tupleItems[i];
            } else if (node.additionalItems == Extra::kForbidden) {
                const auto args = [&] { return Args{std::to_string(node.tupleItems.size())}; };
                if (StopAfter(!Fail(JsonValidator::kAdditionalItem, item, args), ok, probing_)) {
                    return false;
                }
                continue;
            } else {
                schema = node.additionalItemsSchema;
            }
        }
        if (schema && StopAfter(Check(*schema, value[i], item), ok, probing_)) {
            return false;
        }
    }
    return ok;
}

bool InstanceChecker::CheckUniqueItems(const rapidjson::Value& value, const PathFrame& at) {
    if (SwitchedOff(JsonValidator::kDuplicateItem)) {
        return true;
    }
    bool ok = true;
    for (const auto& [later, earlier] : FindRepeats(value, probing_ > 0)) {
        ok = !Fail(JsonValidator::kDuplicateItem, at.Item(later), [&, earlier = earlier] {
            return Args{std::to_string(earlier)};
        }) && ok;
    }
    return ok;
}

bool InstanceChecker::CheckObject(const SchemaNode& node, const rapidjson::Value& value,
                                  const PathFrame& at) {
    bool ok = true;
    if (StopAfter(
            CheckCount(value.MemberCount(), node.minProperties, node.maxProperties,
                       JsonValidator::kTooFewProperties, JsonValidator::kTooManyProperties, at),
            ok, probing_)) {
        return false;
    }
    uint64_t requiredSeen = 0;
    for (const auto& member : value.GetObject()) {
        if (StopAfter(CheckMember(node, member, at, requiredSeen), ok, probing_)) {
            return false;
        }
    }
    if (!node.required.empty() &&
        StopAfter(CheckRequired(node, value, at, requiredSeen), ok, probing_)) {
        return false;
    }
    return CheckDependencies(node, value, at) && ok;
}

bool InstanceChecker::CheckMember(const SchemaNode& node, const rapidjson::Value::Member& member,
                                  const PathFrame& at, uint64_t& requiredSeen) {
    std::string_view name = ViewOf(member.name);
    PathFrame child = at.Member(member.name);
    // A configuration key may hold DELETE_DEFAULT (remove the key's default) instead of a
    // value of its schema; such a value is not checked against the schema.
    bool markerOnly = options_.documentKeys && child.depth == kDocumentKeyDepth &&
                      member.value.IsString() && ViewOf(member.value) == kDeleteDefault;
    bool ok = true;
    bool covered = false;
    const auto apply = [&](const SchemaNode& schema) {
        covered = true;
        return markerOnly || Check(schema, member.value, child);
    };
    if (!node.properties.empty()) {
        auto rule = node.properties.find(name);
        if (rule != node.properties.end()) {
            int index = rule->second.requiredIndex;
            if (index >= 0 && index < 64) {
                requiredSeen |= uint64_t{1} << index;
            }
            if (rule->second.schema && StopAfter(apply(*rule->second.schema), ok, probing_)) {
                return false;
            }
        }
    }
    for (const PatternRule& rule : node.patternProperties) {
        if (rule.regex->Search(name) && StopAfter(apply(*rule.schema), ok, probing_)) {
            return false;
        }
    }
    if (!covered && node.additionalProperties == Extra::kForbidden) {
        return !Fail(
                   JsonValidator::kAdditionalProperty, at, [&] { return Args{std::string(name)}; },
                   &name) &&
               ok;
    }
    if (!covered && node.additionalProperties == Extra::kSchema &&
        StopAfter(apply(*node.additionalPropertiesSchema), ok, probing_)) {
        return false;
    }
    if (markerOnly && covered) {
        ok = !Fail(JsonValidator::kDeleteDefaultMarker, child, [] { return Args{}; }) && ok;
    }
    return ok;
}

bool InstanceChecker::CheckRequired(const SchemaNode& node, const rapidjson::Value& value,
                                    const PathFrame& at, uint64_t requiredSeen) {
    bool ok = true;
    for (size_t i = 0; i < node.required.size(); ++i) {
        std::string_view name = node.required[i];
        bool present = i < 64 ? ((requiredSeen >> i) & 1u) != 0 : HasMember(value, name);
        if (!present && StopAfter(!Fail(
                                      JsonValidator::kRequiredPropertyMissing, at,
                                      [&] { return Args{std::string(name)}; }, &name),
                                  ok, probing_)) {
            return false;
        }
    }
    return ok;
}

bool InstanceChecker::CheckDependencies(const SchemaNode& node, const rapidjson::Value& value,
                                        const PathFrame& at) {
    bool ok = true;
    for (const DependencyRule& rule : node.dependencies) {
        if (!HasMember(value, rule.name)) {
            continue;
        }
        if (rule.schema) {
            if (StopAfter(Check(*rule.schema, value, at), ok, probing_)) {
                return false;
            }
            continue;
        }
        for (const auto& needed : rule.names->GetArray()) {
            std::string_view name = ViewOf(needed);
            const auto args = [&] { return Args{std::string(name), std::string(rule.name)}; };
            if (!HasMember(value, name) &&
                StopAfter(!Fail(JsonValidator::kDependencyMissing, at, args, &name), ok,
                          probing_)) {
                return false;
            }
        }
    }
    return ok;
}

bool InstanceChecker::CheckCombinations(const SchemaNode& node, const rapidjson::Value& value,
                                        const PathFrame& at) {
    bool ok = true;
    for (const SchemaNode* branch : node.allOf) {
        if (StopAfter(Check(*branch, value, at), ok, probing_)) {
            return false;
        }
    }
    if (!node.anyOf.empty()) {
        bool matched =
            std::any_of(node.anyOf.begin(), node.anyOf.end(),
                        [&](const SchemaNode* branch) { return Probe(*branch, value, at); });
        const auto args = [&] { return Args{std::to_string(node.anyOf.size())}; };
        if (!matched &&
            StopAfter(!Fail(JsonValidator::kNoAlternativeMatched, at, args), ok, probing_)) {
            return false;
        }
    }
    if (!node.oneOf.empty() && StopAfter(CheckOneOf(node, value, at), ok, probing_)) {
        return false;
    }
    if (node.notSchema && Probe(*node.notSchema, value, at)) {
        ok = !Fail(JsonValidator::kForbiddenSchemaMatched, at, [] { return Args{}; }) && ok;
    }
    return ok;
}

bool InstanceChecker::CheckOneOf(const SchemaNode& node, const rapidjson::Value& value,
                                 const PathFrame& at) {
    bool decided = false;
    if (!node.unionTag.empty()) {
        bool ok = CheckUnion(node, value, at, decided);
        if (decided) {
            return ok;
        }
    }
    size_t matches = 0;
    for (const SchemaNode* branch : node.oneOf) {
        if (Probe(*branch, value, at) && ++matches > 1 && probing_) {
            break;
        }
    }
    if (matches == 1) {
        return true;
    }
    if (matches == 0) {
        return !Fail(JsonValidator::kNoAlternativeMatched, at,
                     [&] { return Args{std::to_string(node.oneOf.size())}; });
    }
    return !Fail(JsonValidator::kSeveralAlternativesMatched, at,
                 [&] { return Args{std::to_string(matches)}; });
}

// A union selects its branch by the tag's value, so a missing or unknown tag is one precise
// finding instead of every branch's failures, and the selected branch reports its own
// findings. When enum or required checks are switched off the tags do not exclude branches
// any more, and plain oneOf rules apply.
bool InstanceChecker::CheckUnion(const SchemaNode& node, const rapidjson::Value& value,
                                 const PathFrame& at, bool& decided) {
    if (!value.IsObject() || SwitchedOff(JsonValidator::kEnumMismatch) ||
        SwitchedOff(JsonValidator::kRequiredPropertyMissing)) {
        return false;
    }
    std::string_view tag = node.unionTag;
    rapidjson::Value key(rapidjson::StringRef(tag.data(), tag.size()));
    auto tagMember = value.FindMember(key);
    if (tagMember == value.MemberEnd()) {
        decided = true;
        return !Fail(JsonValidator::kUnionTagMissing, at, [&] { return Args{std::string(tag)}; });
    }
    size_t selected = 0;
    size_t selections = 0;
    for (size_t i = 0; i < node.unionTagValues.size(); ++i) {
        const auto& allowed = node.unionTagValues[i]->GetArray();
        if (std::any_of(allowed.begin(), allowed.end(),
                        [&](const rapidjson::Value& entry) { return entry == tagMember->value; })) {
            selected = i;
            ++selections;
        }
    }
    if (selections > 1) {
        return false;
    }
    decided = true;
    if (selections == 0) {
        return !Fail(
            JsonValidator::kUnionTagUnknown, at,
            [&] {
                return Args{std::string(tag), ValueText(tagMember->value)};
            },
            &tag);
    }
    return Check(*node.oneOf[selected], value, at);
}

}  // namespace TarnValidator
