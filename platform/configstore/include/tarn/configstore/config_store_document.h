// ConfigStoreDocument: the configuration store's helpers for configuration documents
// (component -> group -> key, optionally under "profile"): parsing and writing, schema-aware
// comparison, redaction of secrets, a normalised text form, and building documents from
// objects. Stateless and reentrant; a document must not be used by two threads at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace ConfigStoreDocument {

using Allocator = rapidjson::MemoryPoolAllocator<>;

// The text that replaces every secret value.
inline constexpr const char kRedactedText[] = "******";

// The parsed text. Throws TarnConfigStore::ConfigStoreException 2000 with the parser's reason
// and offset when the text is not exactly one JSON value.
rapidjson::Document CreateDocument(const std::string& text);

// out = the compact JSON text of value.
void SerializeValue(const rapidjson::Value& value, std::string& out);

// True when value is an object with a member name.
bool ValueExists(const rapidjson::Value& value, const std::string& name);
// True for null, {} and [].
bool IsDocumentEmpty(const rapidjson::Value& value);

// Whether a and b hold the same configuration under definition (a JSON schema, or null):
// - numbers compare by value (1 equals 1.0), strings byte for byte, other kinds by kind;
// - objects member by member, in any order; the member "cs_generated_id" is never compared,
//   and a member one side lacks equals the other side's value when that is the property's
//   schema "default";
// - arrays whose definition says the items are objects identified by an "instanceId", or
//   plain values, compare as multisets (order does not count); other arrays in order.
// A definition of an array applies its "items" when the values themselves are objects.
bool IsEqualValue(const rapidjson::Value& a, const rapidjson::Value& b,
                  const rapidjson::Value& definition);
// Whether two arrays hold the same values in any order (each element matched once, numbers
// by value). False when either is not an array.
bool IsEqualPrimitiveArray(const rapidjson::Value& a, const rapidjson::Value& b);

// The compact JSON text of value with every value whose schema in definition says
// "sensitive": true replaced by the string "******", at any depth and inside arrays.
std::string RedactAndSerializeValue(const rapidjson::Value& definition,
                                    const rapidjson::Value& value);

// The normalised compact text of value: object members sorted by name (byte order, members
// of equal names kept in their order), array order kept, and every number written the one way:
// a double with an integral value that fits a 64-bit integer as that integer (1.0 and -0.0
// become 1 and 0), other doubles in their shortest form that reads back exactly.
std::string NormalizeValue(const rapidjson::Value& value);
// The same text, with value itself brought into the normal form instead of a copy of it: for
// callers that no longer need the value's own member order. The later half of a large array of
// objects or arrays (thousands) is done on a short-lived second thread, joined before the
// return; value must not change meanwhile.
std::string NormalizeInPlace(rapidjson::Value& value);
// Brings value into the normal form in place and writes its normalised compact text to out
// (replacing what out held, reusing its room): one key's value of a large document, written
// while it is in cache.
void RenderNormalForm(rapidjson::Value& value, std::string& out);
// NormalizeInPlace of a document whose key values under "profile" were all rendered by
// RenderNormalForm and kept as strings: each key's value is a string holding that text, or for
// a multi-instance key an array of such strings, one per instance. The text is the one the
// document with those values themselves would give.
std::string NormalizeRenderedInPlace(rapidjson::Value& document);

// The canonical form of a host identity: blanks around it removed, ASCII letters lower case.
std::string NormalizeHostId(const std::string& text);

// The builders below create missing levels as empty objects (a null target becomes an object)
// and throw TarnConfigStore::ConfigStoreException 2000 naming the place when an existing level
// is not an object.
// The document's "profile" member.
rapidjson::Value& AddProfile(rapidjson::Document& document);
// target[component].
rapidjson::Value& AddComponent(rapidjson::Value& target, const std::string& component,
                               Allocator& allocator);
// target[component][group].
rapidjson::Value& AddGroup(rapidjson::Value& target, const std::string& component,
                           const std::string& group, Allocator& allocator);
// Copies value to target[component][group][key]: replacing the key's value when identifier
// is empty, otherwise appended to the key's array of instances (an existing single value
// there throws 2000).
void AddObject(rapidjson::Value& target, const std::string& component, const std::string& group,
               const std::string& key, const std::string& identifier, const rapidjson::Value& value,
               Allocator& allocator);
// AddObject without the copy: value must come from allocator and is moved in. Returns the
// key's array of instances when identifier is not empty (valid until a member is added to
// the group), else nullptr.
rapidjson::Value* MoveObject(rapidjson::Value& target, const std::string& component,
                             const std::string& group, const std::string& key,
                             const std::string& identifier, rapidjson::Value&& value,
                             Allocator& allocator);
// Appends a copy of value as member name of object (a second member of the same name is
// appended too). Not an object: ConfigStoreException 1082.
void AddMember(rapidjson::Value& object, const std::string& name, const rapidjson::Value& value,
               Allocator& allocator);

// What CleanupObject does to the members below a value, by the schema of each member
// (docs/configstore.md, "Cleanup"). 7 and 8 are not assigned.
enum CLEANUP_ACTIONS : int {
    DROP_DEFAULT_VALUES = 0,      // a member equal to its schema "default", unless required
    DROP_NULL_VALUES = 1,         // a null member whose schema "type" does not allow null
    DROP_EMPTY_OBJECTS = 2,       // a member that is {} once cleaned, unless required
    DROP_GENERATED_IDS = 3,       // the member "cs_generated_id"
    MASK_SENSITIVE_VALUES = 4,    // a value whose schema says "sensitive": true becomes "******"
    DROP_READ_ONLY_VALUES = 5,    // a member whose schema says "readOnly": true
    DROP_UNDECLARED_MEMBERS = 6,  // a member outside "properties" of "additionalProperties": false
    DROP_SENSITIVE_VALUES = 9,    // a member whose schema says "sensitive": true
};

// Cleans value in place against schema (the key's JSON schema, or null): every member of every
// object below value, depth first, meets the actions in list order; the first that drops it
// wins. Array elements are cleaned and masked but never dropped; value itself is never dropped
// or masked. An action outside the enumeration throws ConfigStoreException 2000 and leaves
// value untouched.
void CleanupObject(rapidjson::Value& value, const rapidjson::Value& schema,
                   const std::vector<CLEANUP_ACTIONS>& actions, Allocator& allocator);

// CleanupObject for many values cleaned against the same schemas (the rows of one key): what
// cleaning reads from a schema object is read on first use and kept, so the schemas must stay
// alive and unchanged while the cleaner is in use. The actions are checked on construction
// (ConfigStoreException 2000 as CleanupObject). One thread.
class ValueCleaner {
public:
    explicit ValueCleaner(const std::vector<CLEANUP_ACTIONS>& actions);
    ~ValueCleaner();
    ValueCleaner(const ValueCleaner&) = delete;
    ValueCleaner& operator=(const ValueCleaner&) = delete;

    // CleanupObject(value, schema, actions, allocator).
    void Clean(rapidjson::Value& value, const rapidjson::Value& schema, Allocator& allocator);

private:
    class Facts;
    std::vector<CLEANUP_ACTIONS> actions_;
    std::unique_ptr<Facts> facts_;
};

// Auto-configuration: fill a property that validation found missing from the value the host
// configured automatically. field is the JSON pointer (from the validator's "field") of the
// missing member; autoConf a value of the same shape as value. The member is copied from the
// same place in autoConf into value when value lacks it, its parent exists as an object and
// autoConf has it; returns whether value changed. A field that is not a JSON pointer throws
// ConfigStoreException 2000 naming it.
bool PatchRequiredProperty(rapidjson::Value& value, const std::string& field,
                           const rapidjson::Value& autoConf, Allocator& allocator);
// The same for a union whose tag is missing: field points at the object without its tag;
// schema (the JSON schema of value) names the tag: the first member that every "oneOf" branch
// of the object's schema requires and gives an "enum". Local "$ref"s are followed.
bool PatchUnionTagProperty(rapidjson::Value& value, const std::string& field,
                           const rapidjson::Value& autoConf, const rapidjson::Value& schema,
                           Allocator& allocator);

// True when schema (a key's JSON schema) says "telemetryDisabled": true at its root.
bool IsTelemetryDisabled(const rapidjson::Value& schema);

}  // namespace ConfigStoreDocument

namespace TarnConfigStore {

// The parsed contents of the file at path. Throws ConfigStoreException 2000 naming the path
// when the file cannot be read or is not exactly one JSON value.
rapidjson::Document CreateDocumentFromFile(const std::string& path);

}  // namespace TarnConfigStore

TARN_PUBLIC_END
