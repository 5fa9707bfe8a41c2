// ConfigStoreObject (CSO): one configuration object: its id, its value (a JSON document held
// in a JsonDoc) and named text attributes (from StoreObject). Shared through std::shared_ptr;
// one thread at a time. CreateObject builds one from JSON text or a JSON value (copied);
// CreateObjectView one that reads a value where it lies, for objects that do not outlive it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tarn/configstore/config_store_object_id.h"
#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

class JsonDoc;
struct ObjectSchemaFacts;

// Named text attributes of a stored object.
class StoreObject {
public:
    virtual ~StoreObject() = default;

    // Copies the attribute into *out and returns true when it is set.
    bool GetValue(const std::string& name, std::string* out) const;
    void SetValue(const std::string& name, std::string_view text);
    const std::map<std::string, std::string>& GetAttributes() const { return attributes_; }

private:
    std::map<std::string, std::string> attributes_;
};

class ConfigStoreObject : public StoreObject {
public:
    // An object with no value and no attributes.
    explicit ConfigStoreObject(ConfigStoreObjectId id);

    const ConfigStoreObjectId& GetConfigStoreObjectId() const { return id_; }

    // The value's compact JSON text; empty while the object has no value.
    std::string GetSerializedData() const;
    // The same text into out, whose storage a caller writing many objects can reuse.
    void GetSerializedData(std::string& out) const;
    // The value itself; edits through it change the object. An object without a value gets a
    // null document here; an object viewing a value (CreateObjectView) gets a copy of it.
    std::shared_ptr<JsonDoc> GetJsonDoc();
    bool HasValue() const { return value_ != nullptr || view_ != nullptr; }

    // Position among the instances of a multi-instance value, when the creator gave one.
    const std::optional<unsigned long>& GetIndex() const { return index_; }
    void SetIndex(std::optional<unsigned long> index) { index_ = index; }

private:
    friend std::shared_ptr<ConfigStoreObject> CreateObjectView(const ConfigStoreObjectId& id,
                                                               const rapidjson::Value& value,
                                                               const ObjectSchemaFacts& schema,
                                                               std::optional<unsigned long> index);
    ConfigStoreObjectId id_;
    std::shared_ptr<JsonDoc> value_;
    // A value read where it lies, until GetJsonDoc copies it into value_.
    const rapidjson::Value* view_ = nullptr;
    std::optional<unsigned long> index_;
};

// An object with id and index whose value is the JSON text (or a deep copy of value).
// Throws ConfigStoreException 2000 naming the id when the text is not valid JSON.
std::shared_ptr<ConfigStoreObject> CreateObject(const ConfigStoreObjectId& id,
                                                const std::string& text,
                                                std::optional<unsigned long> index);
std::shared_ptr<ConfigStoreObject> CreateObject(const ConfigStoreObjectId& id,
                                                const rapidjson::Value& value,
                                                std::optional<unsigned long> index);

// What a key's schema tells the store about the objects of the key (the store does not read
// schemas itself; callers holding the key's schema fill this in). The views need to last only
// for the call they are passed to: the object keeps its own copy of the schema text.
struct ObjectSchemaFacts {
    std::string_view schemaText;   // the schema's identifying text, kept as attribute "schema"
    std::string_view instanceKey;  // the member naming an instance; "" for a single-instance key
};

// The attribute that holds the schema text of an object created for a known schema.
inline constexpr const char kSchemaAttribute[] = "schema";

// An object of a key whose schema is known: as CreateObject(id, value, index), and carrying
// the schema text in kSchemaAttribute. When value is an object whose instanceKey member is a
// string, that string must be id's instance id: ConfigStoreException 2000 naming the id and
// the value's instance otherwise, so an object never reaches a plugin under another name.
std::shared_ptr<ConfigStoreObject> CreateObject(const ConfigStoreObjectId& id,
                                                const rapidjson::Value& value,
                                                const ObjectSchemaFacts& schema,
                                                std::optional<unsigned long> index);

// As CreateObject(id, value, schema, index), but the object reads value where it lies instead
// of copying it: value must outlive the object and stay unchanged while the object is used
// (the first GetJsonDoc copies it). For an operation's own short-lived objects built from a
// document it keeps until they are gone.
std::shared_ptr<ConfigStoreObject> CreateObjectView(const ConfigStoreObjectId& id,
                                                    const rapidjson::Value& value,
                                                    const ObjectSchemaFacts& schema,
                                                    std::optional<unsigned long> index);

// A fresh random instance id: 32 hexadecimal digits in the 8-4-4-4-12 layout of a version 4
// UUID, lower case.
std::string GenerateInstanceId();

}  // namespace TarnConfigStore

TARN_PUBLIC_END
