// JsonValidator: the host's JSON Schema (draft-04) validator. It checks a value against a
// schema and writes every violation, not only the first, into a caller-owned error document.
// The caller owns all documents; the validator keeps only process-wide caches (compiled
// patterns, loaded remote schemas, compiled schemas keyed by their text; docs/validator.md).
// Any thread may call any member at any time.
#pragma once

#include <string>
#include <unordered_set>

#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

class JsonValidator {
public:
    // The "errId" of an error object. A code set handed to Validate names codes whose checks
    // the caller switches off: such a finding is neither reported nor counted as a failure.
    enum VALIDATION_ERR_CODES {
        kUnknownKeyword = 0,           // schema keyword not known; ignored
        kUnknownFormat = 1,            // "format" names a format that is not checked
        kUnresolvedReference = 2,      // "$ref" names nothing
        kIntegerWrittenAsFloat = 3,    // 2.0 where an integer is expected
        kAdditionalProperty = 4,       // member not allowed by additionalProperties
        kTypeMismatch = 5,             // value of the wrong JSON type
        kEnumMismatch = 6,             // value not among "enum"
        kFormatMismatch = 7,           // string not of its "format"
        kInvalidKeyword = 8,           // schema keyword with an invalid value; ignored
        kRequiredPropertyMissing = 9,  // a "required" member is absent
        kPatternMismatch = 10,         // string does not match "pattern"
        kDeleteDefaultMarker = 11,     // a document key holds "DELETE_DEFAULT"
        kStringTooShort = 12,
        kStringTooLong = 13,
        kNumberBelowMinimum = 14,
        kNumberAboveMaximum = 15,
        kNumberNotAboveMinimum = 16,  // exclusiveMinimum
        kNumberNotBelowMaximum = 17,  // exclusiveMaximum
        kNumberNotMultiple = 18,
        kTooFewItems = 19,
        kTooManyItems = 20,
        kAdditionalItem = 21,  // item not allowed by additionalItems
        kDuplicateItem = 22,   // uniqueItems
        kTooFewProperties = 23,
        kTooManyProperties = 24,
        kDependencyMissing = 25,           // a member another member depends on is absent
        kNoAlternativeMatched = 26,        // anyOf / oneOf: no branch holds
        kSeveralAlternativesMatched = 27,  // oneOf: more than one branch holds
        kForbiddenSchemaMatched = 28,      // "not"
        kSchemaRecursion = 29,             // a "$ref" re-enters itself without progress
        kNestingTooDeep = 30,              // schema and value nest beyond the limit
        kUnionTagUnknown = 31,             // a union's tag selects no alternative
        kUnionTagMissing = 32,             // a union's tag property is absent
        kSchemaNotFound = 33,  // schema generation: a document key has no schema installed
    };

    // Validates value against schema (a JSON object; anything else throws
    // TarnConfigStore::ConfigStoreException 1082 and leaves errors untouched). errors becomes
    // an array of error objects {"field", "errId", "errArgs", "error"}; when it already holds
    // an array the new errors are appended to it. "field" is text followed by the JSON
    // pointer of the offending value; "error" is a printf format whose only conversion is one
    // "%s" for "field". codeSet lists the codes to switch off.
    static void Validate(const rapidjson::Value& schema, const rapidjson::Value& value,
                         rapidjson::Document& errors, const std::unordered_set<int>& codeSet,
                         const std::string& text);

    // Validate for whole configuration documents (component, group, key): the error objects
    // carry "field", "errId" and "errArgs" only, and a key whose value is the string
    // "DELETE_DEFAULT" is reported as kDeleteDefaultMarker, or accepted unchecked when that
    // code is in codeSet.
    static void ValidateCMDocument(const rapidjson::Value& schema, const rapidjson::Value& value,
                                   rapidjson::Document& errors,
                                   const std::unordered_set<int>& codeSet, const std::string& text);

    // The message id of a code ("com.corvid.tarn.settings.validator.<name>"); codes outside
    // the enumeration give "com.corvid.tarn.settings.validator.error".
    static const char* ConvertErrorCodeToMsgId(int errId);

    // From now on "$ref"s to URIs that start with uriPrefix read the file at the rest of the
    // URI under folder. Nothing is fetched over a network; the draft-04 meta-schema is built in.
    static void MapRemoteSchemas(const std::string& uriPrefix, const std::string& folder);
};

TARN_PUBLIC_END
