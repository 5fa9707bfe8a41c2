#include "deradidezivizoda/drift/compute_drift.h"

#include <charconv>
#include <cstring>
#include <optional>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "deradidezivizoda/extract/mutable_default.h"
#include "drift/host_instance_index.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/member_index.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

using Allocator = rapidjson::MemoryPoolAllocator<>;
using rapidjson::Value;

constexpr char kGeneratedId[] = "cs_generated_id";

bool IsEmpty(const Value& value) {
    return value.IsNull() || (value.IsObject() && value.MemberCount() == 0) ||
           (value.IsArray() && value.Empty());
}

// Appends "/<name>" or "/<index>" to the walk's path for one scope and cuts it off again,
// so each property and element path is built in place instead of in a fresh string.
class PathPiece {
public:
    PathPiece(std::string& path, const char* name) : path_(path), size_(path.size()) {
        path_ += '/';
        path_ += name;
    }
    PathPiece(std::string& path, size_t index) : path_(path), size_(path.size()) {
        char digits[24];
        char* end = std::to_chars(digits, digits + sizeof digits, index).ptr;
        path_ += '/';
        path_.append(digits, end);
    }
    ~PathPiece() { path_.resize(size_); }
    PathPiece(const PathPiece&) = delete;
    PathPiece& operator=(const PathPiece&) = delete;

private:
    std::string& path_;
    size_t size_;
};

Value Text(const char* text, Allocator& allocator) {
    return Value(text, allocator);
}

// Marker operations are literals: the markers refer to them instead of copying them.
Value Operation(const char* literal) {
    return Value(rapidjson::StringRef(literal));
}

bool IsGeneratedIdName(const char* name) {
    return std::strcmp(name, kGeneratedId) == 0;
}

// Names are looked up as C strings, up to a NUL they may carry.
rapidjson::SizeType NameLength(const char* name) {
    return static_cast<rapidjson::SizeType>(std::strlen(name));
}

// A schema's "properties", looked up and indexed on first use. A property the schema does not
// name (a document or an extract plugin may hold one where the schema allows other members)
// is compared as a value of the empty schema, which says nothing about it.
class PropertySchemas {
public:
    explicit PropertySchemas(const Value& schema) : schema_(schema) {}
    // hint: the position to try first (the member's own in the compared object).
    const Value& Of(const char* name, rapidjson::SizeType hint) {
        static const Value kNoSchema(rapidjson::kObjectType);
        if (!properties_) {
            const Value* found = nullptr;
            if (schema_.IsObject()) {
                auto member = schema_.FindMember("properties");
                found = member == schema_.MemberEnd() ? nullptr : &member->value;
            }
            properties_ = found && found->IsObject() ? found : &kNoSchema;
            index_.emplace(*properties_);
        }
        const Value* property = index_->Find(name, NameLength(name), hint);
        return property ? *property : kNoSchema;
    }

private:
    const Value& schema_;
    const Value* properties_ = nullptr;
    std::optional<TarnConfigStore::MemberIndex> index_;
};

// The instance id of a content-identified instance: its generated id, or a new one.
std::string GeneratedIdOf(const Value& element) {
    if (element.IsObject()) {
        auto it = element.FindMember(kGeneratedId);
        if (it != element.MemberEnd() && it->value.IsString()) {
            return it->value.GetString();
        }
    }
    return TarnConfigStore::GenerateInstanceId();
}

// The drift markers of one object. Set consumes them before the walk moves on, so each object
// starts them afresh in the same buffer: a marker object takes room for 16 members, and
// without the reset a key of many instances would pile up 512 bytes or more per changed
// instance for as long as the key's walk lasts. Markers that outgrow the buffer take heap
// chunks, freed at the next reset.
class MarkerScratch {
public:
    MarkerScratch() : pool_(buffer_, sizeof buffer_) {}
    MarkerScratch(const MarkerScratch&) = delete;
    MarkerScratch& operator=(const MarkerScratch&) = delete;

    // A null marker, with everything the previous object's markers took given back.
    Value& Fresh() {
        marker_.SetNull();
        pool_.Clear();
        return marker_;
    }
    Allocator& GetAllocator() { return pool_; }

private:
    alignas(16) char buffer_[8192];
    Allocator pool_;
    Value marker_;
};

// One walk of one key: the comparisons of the engine, reporting to the handler. Markers are
// built in the key's marker scratch.
class KeyComparison {
public:
    KeyComparison(DriftHandler& handler, Allocator& desiredAllocator,
                  const std::shared_ptr<DBStore::StoreConnection>& connection)
        : handler_(handler), desiredAllocator_(desiredAllocator), connection_(connection) {}

    void SingleInstance(Value& desired, const Value& host, const DriftHandler::ObjectId& id,
                        const DriftHandler::Schema& schema, std::string& path);
    void Instances(Value& desired, const Value& host, DriftHandler::ObjectId id,
                   const DriftHandler::Schema& schema, std::string& path);

private:
    void GeneratedInstances(Value& desired, HostInstanceIndex& index, DriftHandler::ObjectId& id,
                            const DriftHandler::Schema& schema, std::string& path);
    void KeyedInstances(Value& desired, HostInstanceIndex& index, DriftHandler::ObjectId& id,
                        const DriftHandler::Schema& schema, std::string& path);
    void DesiredInstanceMissing(Value& element, DriftHandler::ObjectId& id,
                                const DriftHandler::Schema& schema, const std::string& path);

    // p is the walk's path buffer: each level appends its piece and leaves it as it found it.
    bool Property(Value& d, const Value& h, const Value& s, std::string& p, Value& marker);
    bool ObjectProperty(Value& d, const Value& h, const Value& s, std::string& p, Value& marker);
    bool PropertyDeletes(const Value& d, const Value& h, const Value& s, std::string& p,
                         Value& marker);
    bool GeneratedArray(Value& d, const Value& h, const Value& s, std::string& p, Value& marker);
    bool KeyedArray(Value& d, const Value& h, const Value& s, std::string& p, Value& marker);
    void AppendMarker(Value& marker, const Value& instanceId, const char* operation,
                      Value* nested = nullptr);

    DriftHandler& handler_;
    Allocator& desiredAllocator_;
    const std::shared_ptr<DBStore::StoreConnection>& connection_;
    MarkerScratch scratch_;
};

// An exported document masks secrets as "******": such a desired value keeps whatever secret
// the host holds, so a host complies with its own export and applying it changes no secret.
bool IsMaskedSecret(const Value& desired, const Value& host, const Value& schema) {
    if (!desired.IsString() || host.IsNull() || !schema.IsObject()) {
        return false;
    }
    auto sensitive = schema.FindMember("sensitive");
    return sensitive != schema.MemberEnd() && sensitive->value.IsTrue() &&
           std::string(desired.GetString(), desired.GetStringLength()) ==
               ConfigStoreDocument::kRedactedText;
}

void KeyComparison::SingleInstance(Value& desired, const Value& host,
                                   const DriftHandler::ObjectId& id,
                                   const DriftHandler::Schema& schema, std::string& path) {
    Value& driftObject = scratch_.Fresh();
    if (!IsEmpty(desired)) {
        if (!handler_.compareEmptyByProperty && IsEmpty(host)) {
            handler_.Set(desired, host, id, schema, path, driftObject);
            return;
        }
        if (Property(desired, host, schema->GetDefinition(), path, driftObject) &&
            handler_.consolidatedActionRequired) {
            handler_.Set(desired, host, id, schema, path, driftObject);
        }
    } else if (!IsEmpty(host)) {
        if (!handler_.compareEmptyByProperty) {
            handler_.Delete(host, id, schema, path);
            return;
        }
        driftObject.SetObject();
        if (PropertyDeletes(desired, host, schema->GetDefinition(), path, driftObject) &&
            handler_.consolidatedActionRequired) {
            handler_.Set(desired, host, id, schema, path, driftObject);
        }
    }
}

void KeyComparison::Instances(Value& desired, const Value& host, DriftHandler::ObjectId id,
                              const DriftHandler::Schema& schema, std::string& path) {
    if (!IsEmpty(desired) && !desired.IsArray()) {
        (void)desired.GetArray();  // 1082: a multi-instance value must be an array
    }
    HostInstanceIndex index(host);
    if (schema->GetInstanceKey() == kGeneratedId) {
        GeneratedInstances(desired, index, id, schema, path);
    } else {
        KeyedInstances(desired, index, id, schema, path);
    }
}

void KeyComparison::GeneratedInstances(Value& desired, HostInstanceIndex& index,
                                       DriftHandler::ObjectId& id,
                                       const DriftHandler::Schema& schema, std::string& path) {
    size_t count = desired.IsArray() ? desired.Size() : 0;
    const Value& definition = schema->GetDefinition();
    for (size_t i = 0; i < count; ++i) {
        Value& element = desired[static_cast<rapidjson::SizeType>(i)];
        auto equal = [&](const Value& hostElement) {
            return ConfigStoreDocument::IsEqualValue(element, hostElement, definition);
        };
        if (index.TakeFirst(equal) >= 0) {
            continue;
        }
        id.SetInstanceId(GeneratedIdOf(element));
        PathPiece piece(path, i);
        handler_.Add(element, id, schema, path);
    }
    size_t next = count;
    for (size_t position : index.Remaining()) {
        const Value& hostElement = index.At(position);
        id.SetInstanceId(GeneratedIdOf(hostElement));
        PathPiece piece(path, next++);
        handler_.Delete(hostElement, id, schema, path);
    }
}

void KeyComparison::KeyedInstances(Value& desired, HostInstanceIndex& index,
                                   DriftHandler::ObjectId& id, const DriftHandler::Schema& schema,
                                   std::string& path) {
    const char* keyName = schema->GetInstanceKey().c_str();
    index.IndexByKey(keyName);
    size_t count = desired.IsArray() ? desired.Size() : 0;
    for (size_t i = 0; i < count; ++i) {
        Value& element = desired[static_cast<rapidjson::SizeType>(i)];
        const Value& key = element[keyName];
        id.SetInstanceId(std::string(key.GetString(), key.GetStringLength()));
        PathPiece piece(path, i);
        long match = index.TakeByKey(id.GetInstanceId());
        if (match < 0) {
            DesiredInstanceMissing(element, id, schema, path);
            continue;
        }
        const Value& hostElement = index.At(static_cast<size_t>(match));
        Value& marker = scratch_.Fresh();
        if (Property(element, hostElement, schema->GetDefinition(), path, marker) &&
            handler_.consolidatedActionRequired) {
            handler_.Set(element, hostElement, id, schema, path, marker);
        }
    }
    size_t next = count;
    for (size_t position : index.Remaining()) {
        const Value& hostElement = index.At(position);
        id.SetInstanceId(hostElement[keyName].GetString());
        PathPiece piece(path, next++);
        handler_.Delete(hostElement, id, schema, path);
    }
}

void KeyComparison::DesiredInstanceMissing(Value& element, DriftHandler::ObjectId& id,
                                           const DriftHandler::Schema& schema,
                                           const std::string& path) {
    if (!handler_.useDefaultInstances) {
        handler_.Add(element, id, schema, path);
        return;
    }
    if (id.GetInstanceId().empty()) {
        ThrowException<ConfigManagerException>(
            UNEXPECTED_ERROR, "InstanceId is not set for non-singleton configuration");
    }
    if (TarnConfigStore::GetDefaultUserConfigMapList(id, connection_).size() == 1) {
        handler_.Set(element, kEmptyVal, id, schema, path, scratch_.Fresh());
    } else {
        handler_.Add(element, id, schema, path);
    }
}

bool KeyComparison::Property(Value& d, const Value& h, const Value& s, std::string& p,
                             Value& marker) {
    if (TarnConfigStore::JsonEqual(d, h) || IsMaskedSecret(d, h, s)) {
        return false;
    }
    if (d.IsObject()) {
        return ObjectProperty(d, h, s, p, marker);
    }
    if (d.IsArray()) {
        const Value& itemType = s["items"]["type"];
        if (itemType.IsString() && std::string(itemType.GetString()) == "object") {
            marker.SetArray();
            const Value& instanceId = s["instanceId"];
            if (instanceId.IsString() && std::string(instanceId.GetString()) == kGeneratedId) {
                return GeneratedArray(d, h, s, p, marker);
            }
            return KeyedArray(d, h, s, p, marker);
        }
        if (!ConfigStoreDocument::IsEqualPrimitiveArray(d, h)) {
            handler_.PropertyDrift(d, h, s, p, SET);
            return true;
        }
        return false;
    }
    ACTION action = h.IsNull() ? ADD : d.IsNull() ? DELETE : SET;
    handler_.PropertyDrift(d, h, s, p, action);
    return true;
}

bool KeyComparison::ObjectProperty(Value& d, const Value& h, const Value& s, std::string& p,
                                   Value& marker) {
    Allocator& allocator = scratch_.GetAllocator();
    marker.SetObject();
    bool drift = false;
    PropertySchemas properties(s);
    // Both sides naming their members alike (the usual case) pair them by position, and then
    // the host has no member the desired side lacks. Names are looked up up to a NUL they may
    // carry, so a name with one takes the lookups.
    const bool paired = TarnConfigStore::SameMemberNames(d, h);
    bool lookedUp = false;
    std::optional<TarnConfigStore::MemberIndex> hostMembers;
    rapidjson::SizeType position = 0;
    for (auto& member : d.GetObject()) {
        const char* name = member.name.GetString();
        const rapidjson::SizeType length = NameLength(name);
        const rapidjson::SizeType at = position++;
        PathPiece piece(p, name);
        const Value* hostValue = nullptr;
        if (paired && length == member.name.GetStringLength()) {
            hostValue = &h.MemberBegin()[at].value;
        } else {
            lookedUp = true;
            if (!hostMembers) {
                hostMembers.emplace(h);
            }
            hostValue = hostMembers->Find(name, length, at);
        }
        if (!hostValue) {
            handler_.PropertyDrift(member.value, kEmptyVal, properties.Of(name, at), p, ADD);
            drift = true;
            if (handler_.createDriftObject) {
                marker.AddMember(Text(name, allocator), Operation("ADD"), allocator);
            }
            continue;
        }
        if (IsGeneratedIdName(name)) {
            continue;
        }
        Value nested;
        if (Property(member.value, *hostValue, properties.Of(name, at), p, nested)) {
            drift = true;
            if (handler_.createDriftObject) {
                Value entry = IsEmpty(nested) ? Operation("SET") : std::move(nested);
                marker.AddMember(Text(name, allocator), entry, allocator);
            }
        }
    }
    if (paired && !lookedUp) {
        return drift;
    }
    return PropertyDeletes(d, h, s, p, marker) || drift;
}

bool KeyComparison::PropertyDeletes(const Value& d, const Value& h, const Value& s, std::string& p,
                                    Value& marker) {
    if (!h.IsObject()) {
        return false;
    }
    Allocator& allocator = scratch_.GetAllocator();
    bool drift = false;
    PropertySchemas properties(s);
    TarnConfigStore::MemberIndex desiredMembers(d);
    rapidjson::SizeType position = 0;
    for (const auto& member : h.GetObject()) {
        const char* name = member.name.GetString();
        const rapidjson::SizeType at = position++;
        if (IsGeneratedIdName(name) || desiredMembers.Find(name, NameLength(name), at)) {
            continue;
        }
        if (handler_.createDriftObject) {
            marker.AddMember(Text(name, allocator), Operation("DELETE"), allocator);
        }
        const Value& definition = properties.Of(name, at);
        PathPiece piece(p, name);
        handler_.PropertyDrift(kEmptyVal, member.value, definition, p, DELETE);
        drift = true;
    }
    return drift;
}

void KeyComparison::AppendMarker(Value& marker, const Value& instanceId, const char* operation,
                                 Value* nested) {
    Allocator& allocator = scratch_.GetAllocator();
    Value entry(rapidjson::kObjectType);
    entry.AddMember("INSTANCEID", Value(instanceId, allocator), allocator);
    entry.AddMember("DRIFTOP", Operation(operation), allocator);
    if (nested && !IsEmpty(*nested)) {
        entry.AddMember("DRIFTOBJ", *nested, allocator);
    }
    marker.PushBack(entry, allocator);
}

bool KeyComparison::GeneratedArray(Value& d, const Value& h, const Value& s, std::string& p,
                                   Value& marker) {
    HostInstanceIndex index(h);
    const Value& items = s["items"];
    bool drift = false;
    for (rapidjson::SizeType i = 0; i < d.Size(); ++i) {
        Value& element = d[i];
        auto equal = [&](const Value& hostElement) {
            return ConfigStoreDocument::IsEqualValue(element, hostElement, items);
        };
        if (index.TakeFirst(equal) >= 0) {
            continue;
        }
        if (handler_.createDriftObject) {
            if (!element.HasMember(kGeneratedId)) {
                std::string generated = TarnConfigStore::GenerateInstanceId();
                element.AddMember(kGeneratedId, Value(generated.c_str(), desiredAllocator_),
                                  desiredAllocator_);
            }
            AppendMarker(marker, element[kGeneratedId], "ADD");
        }
        PathPiece piece(p, static_cast<size_t>(i));
        handler_.PropertyDrift(element, kEmptyVal, items, p, ADD);
        drift = true;
    }
    size_t next = d.Size();
    for (size_t position : index.Remaining()) {
        const Value& hostElement = index.At(position);
        if (handler_.createDriftObject) {
            AppendMarker(marker, hostElement[kGeneratedId], "DELETE");
        }
        PathPiece piece(p, next++);
        handler_.PropertyDrift(kEmptyVal, hostElement, items, p, DELETE);
        drift = true;
    }
    return drift;
}

bool KeyComparison::KeyedArray(Value& d, const Value& h, const Value& s, std::string& p,
                               Value& marker) {
    const char* keyName = s["instanceId"].GetString();
    const Value& items = s["items"];
    HostInstanceIndex index(h);
    index.IndexByKey(keyName);
    bool drift = false;
    for (rapidjson::SizeType i = 0; i < d.Size(); ++i) {
        Value& element = d[i];
        const Value& key = element[keyName];
        PathPiece piece(p, static_cast<size_t>(i));
        long match = index.TakeByKey(std::string_view(key.GetString(), key.GetStringLength()));
        if (match < 0) {
            if (handler_.createDriftObject) {
                AppendMarker(marker, key, "ADD");
            }
            handler_.PropertyDrift(element, kEmptyVal, items, p, ADD);
            drift = true;
            continue;
        }
        Value nested;
        if (Property(element, index.At(static_cast<size_t>(match)), items, p, nested)) {
            drift = true;
            if (handler_.createDriftObject) {
                AppendMarker(marker, key, "SET", &nested);
            }
        }
    }
    size_t next = d.Size();
    for (size_t position : index.Remaining()) {
        const Value& hostElement = index.At(position);
        if (handler_.createDriftObject) {
            AppendMarker(marker, hostElement[keyName], "DELETE");
        }
        PathPiece piece(p, next++);
        handler_.PropertyDrift(kEmptyVal, hostElement, items, p, DELETE);
        drift = true;
    }
    return drift;
}

// The right document's value of a key, or nullptr. Every level on the way must be an object.
// The components are indexed once per pass: a document has many.
class RightKeys {
public:
    explicit RightKeys(const Value& right) : right_(right) {}

    const Value* Find(const char* component, const char* group, const char* key) {
        if (!components_) {
            (void)right_.GetObject();  // 1082 when it is not an object
            components_.emplace(right_);
        }
        const Value* groups = components_->Find(component, NameLength(component));
        if (!groups || !groups->GetObject().HasMember(group)) {
            return nullptr;
        }
        const Value& keys = (*groups)[group];
        if (!keys.GetObject().HasMember(key)) {
            return nullptr;
        }
        return &keys[key];
    }

private:
    const Value& right_;
    std::optional<TarnConfigStore::MemberIndex> components_;
};

}  // namespace

void computeComponents(Value& left, const Value& right, Allocator& allocator,
                       const std::shared_ptr<TarnSchemaStore::SchemaStore>& schemas,
                       DriftHandler& handler,
                       const std::shared_ptr<DBStore::StoreConnection>& connection, bool reverse) {
    RightKeys rightKeys(right);
    for (auto& component : left.GetObject()) {
        for (auto& group : component.value.GetObject()) {
            for (auto& key : group.value.GetObject()) {
                const char* c = component.name.GetString();
                const char* g = group.name.GetString();
                const char* k = key.name.GetString();
                std::string path = std::string("/") + c + "/" + g + "/" + k;
                auto schema = TarnSchemaStore::GetSchema(c, g, k, schemas);
                if (!schema) {
                    CSLogger::Log(0, "Schema not found for %s:%s:%s", c, g, k);
                    ThrowException<ConfigManagerException>(SCHEMA_NOT_FOUND, path);
                }
                TarnConfigStore::ConfigStoreObjectId id(k, g, c);
                const Value* other = rightKeys.Find(c, g, k);
                // A key the desired document leaves out is at its default when the host has
                // the key's mutable default, as user documents (an export) leave it out.
                if (reverse &&
                    (other || IsAtMutableDefault(TarnSchemaStore::SchemaObjectId(c, g, k), schema,
                                                 connection))) {
                    continue;
                }
                rapidjson::Document none;
                Value& desired = reverse ? static_cast<Value&>(none) : key.value;
                const Value& host = reverse ? key.value : other ? *other : kEmptyVal;
                KeyComparison comparison(handler, allocator, connection);
                if (schema->IsMultiInstance()) {
                    comparison.Instances(desired, host, id, schema, path);
                } else {
                    comparison.SingleInstance(desired, host, id, schema, path);
                }
            }
        }
    }
}

void ComputeDrift(Value& desired, Allocator& allocator, DriftHandler& handler) {
    auto schemas = TarnSchemaStore::SchemaStore::GetStore();
    if (!schemas) {
        ThrowException<ConfigManagerException>(SCHEMA_STORE_ERROR);
    }
    Value* walked = &desired;
    if (desired.IsObject() && desired.HasMember("profile")) {
        walked = &desired["profile"];
    }
    // A wrongly shaped document is refused with its path before any plugin runs.
    CheckDocumentShape(*walked, schemas);
    rapidjson::Document host;
    if (handler.hostDocument) {
        host = std::move(*handler.hostDocument);
        handler.hostDocument.reset();
    } else {
        host = ExtractCurrentConfiguration();
    }
    CSLogger::Log(2, "DriftHandler: consolidated action required - %d",
                  handler.consolidatedActionRequired);
    CSLogger::Log(2, "DriftHandler: create drift object - %d", handler.createDriftObject);
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    computeComponents(*walked, host, allocator, schemas, handler, connection, false);
    computeComponents(host, *walked, host.GetAllocator(), schemas, handler, connection, true);
}

}  // namespace TarnConfigManager
