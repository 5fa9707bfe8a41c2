#include "error_catalog.h"

#include "tarn/validator/json_validator.h"

namespace TarnValidator {
namespace {

struct CatalogEntry {
    int code;
    const char* messageId;
    const char* text;
};

#define TARN_VALIDATOR_ID(name) "com.corvid.tarn.settings.validator." name

const CatalogEntry kCatalog[] = {
    {JsonValidator::kUnknownKeyword, TARN_VALIDATOR_ID("unknown-keyword"),
     "Schema keyword '{0}' is not supported and was ignored at %s"},
    {JsonValidator::kUnknownFormat, TARN_VALIDATOR_ID("unknown-format"),
     "Format '{0}' is not supported and was not checked at %s"},
    {JsonValidator::kUnresolvedReference, TARN_VALIDATOR_ID("unresolved-reference"),
     "Schema reference '{0}' cannot be resolved at %s"},
    {JsonValidator::kIntegerWrittenAsFloat, TARN_VALIDATOR_ID("integer-written-as-float"),
     "Value at %s is written with a fraction ({0}); an integer is expected"},
    {JsonValidator::kAdditionalProperty, TARN_VALIDATOR_ID("additional-property"),
     "Property %s is not allowed"},
    {JsonValidator::kTypeMismatch, TARN_VALIDATOR_ID("type-mismatch"),
     "Value at %s is of type {1}; expected {0}"},
    {JsonValidator::kEnumMismatch, TARN_VALIDATOR_ID("enum-mismatch"),
     "Value at %s is not one of {0}"},
    {JsonValidator::kFormatMismatch, TARN_VALIDATOR_ID("format-mismatch"),
     "Value at %s is not a valid {0}"},
    {JsonValidator::kInvalidKeyword, TARN_VALIDATOR_ID("invalid-keyword"),
     "Schema keyword '{0}' has an invalid value and was ignored at %s"},
    {JsonValidator::kRequiredPropertyMissing, TARN_VALIDATOR_ID("required-property-missing"),
     "Required property %s is missing"},
    {JsonValidator::kPatternMismatch, TARN_VALIDATOR_ID("pattern-mismatch"),
     "Value at %s does not match the pattern {0}"},
    {JsonValidator::kDeleteDefaultMarker, TARN_VALIDATOR_ID("delete-default-marker"),
     "Key %s holds DELETE_DEFAULT instead of a value"},
    {JsonValidator::kStringTooShort, TARN_VALIDATOR_ID("string-too-short"),
     "Value at %s is shorter than {0} characters"},
    {JsonValidator::kStringTooLong, TARN_VALIDATOR_ID("string-too-long"),
     "Value at %s is longer than {0} characters"},
    {JsonValidator::kNumberBelowMinimum, TARN_VALIDATOR_ID("number-below-minimum"),
     "Value at %s is less than the minimum {0}"},
    {JsonValidator::kNumberAboveMaximum, TARN_VALIDATOR_ID("number-above-maximum"),
     "Value at %s is greater than the maximum {0}"},
    {JsonValidator::kNumberNotAboveMinimum, TARN_VALIDATOR_ID("number-not-above-minimum"),
     "Value at %s is not greater than {0}"},
    {JsonValidator::kNumberNotBelowMaximum, TARN_VALIDATOR_ID("number-not-below-maximum"),
     "Value at %s is not less than {0}"},
    {JsonValidator::kNumberNotMultiple, TARN_VALIDATOR_ID("number-not-multiple"),
     "Value at %s is not a multiple of {0}"},
    {JsonValidator::kTooFewItems, TARN_VALIDATOR_ID("too-few-items"),
     "Array at %s has fewer than {0} items"},
    {JsonValidator::kTooManyItems, TARN_VALIDATOR_ID("too-many-items"),
     "Array at %s has more than {0} items"},
    {JsonValidator::kAdditionalItem, TARN_VALIDATOR_ID("additional-item"),
     "Item %s is not allowed; the array takes at most {0} items"},
    {JsonValidator::kDuplicateItem, TARN_VALIDATOR_ID("duplicate-item"),
     "Item %s repeats item {0}"},
    {JsonValidator::kTooFewProperties, TARN_VALIDATOR_ID("too-few-properties"),
     "Object at %s has fewer than {0} properties"},
    {JsonValidator::kTooManyProperties, TARN_VALIDATOR_ID("too-many-properties"),
     "Object at %s has more than {0} properties"},
    {JsonValidator::kDependencyMissing, TARN_VALIDATOR_ID("dependency-missing"),
     "Property %s is required because property '{1}' is present"},
    {JsonValidator::kNoAlternativeMatched, TARN_VALIDATOR_ID("no-alternative-matched"),
     "Value at %s matches none of the {0} allowed schemas"},
    {JsonValidator::kSeveralAlternativesMatched, TARN_VALIDATOR_ID("several-alternatives-matched"),
     "Value at %s matches {0} schemas; exactly one is allowed"},
    {JsonValidator::kForbiddenSchemaMatched, TARN_VALIDATOR_ID("forbidden-schema-matched"),
     "Value at %s matches a schema it must not match"},
    {JsonValidator::kSchemaRecursion, TARN_VALIDATOR_ID("schema-recursion"),
     "Schema reference '{0}' re-enters itself without progress at %s"},
    {JsonValidator::kNestingTooDeep, TARN_VALIDATOR_ID("nesting-too-deep"),
     "Validation stops at %s: schema and value nest deeper than {0} levels"},
    {JsonValidator::kUnionTagUnknown, TARN_VALIDATOR_ID("union-tag-unknown"),
     "Union tag %s has the value {1}, which selects no alternative"},
    {JsonValidator::kUnionTagMissing, TARN_VALIDATOR_ID("union-tag-missing"),
     "Union tag property '{0}' is missing in the object at %s"},
    {JsonValidator::kSchemaNotFound, TARN_VALIDATOR_ID("schema-not-found"),
     "Key %s has no schema"},
};

const char kGenericMessageId[] = TARN_VALIDATOR_ID("error");
const char kGenericText[] = "Value at %s is not valid";

#undef TARN_VALIDATOR_ID

const CatalogEntry* EntryOf(int code) {
    for (const CatalogEntry& entry : kCatalog) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

void AppendEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        out.push_back(c);
        if (c == '%') {
            out.push_back('%');
        }
    }
}

}  // namespace

const char* MessageIdOf(int code) {
    const CatalogEntry* entry = EntryOf(code);
    return entry ? entry->messageId : kGenericMessageId;
}

std::string ErrorTextOf(const ValidationFinding& finding) {
    const CatalogEntry* entry = EntryOf(finding.code);
    std::string out;
    for (const char* c = entry ? entry->text : kGenericText; *c; ++c) {
        if (c[0] == '{' && c[1] >= '0' && c[1] <= '9' && c[2] == '}') {
            size_t index = static_cast<size_t>(c[1] - '0');
            AppendEscaped(out, index < finding.args.size() ? finding.args[index] : std::string());
            c += 2;
        } else {
            out.push_back(*c);
        }
    }
    return out;
}

}  // namespace TarnValidator
