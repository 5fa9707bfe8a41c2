#include "tarn/configstore/config_store_object.h"

#include <random>

#include "store_json.h"
#include "tarn/json/json_copy.h"
#include "tarn/json/json_doc.h"
#include "tarn/json/json_text.h"

namespace TarnConfigStore {

namespace {

// An object's value is usually a few hundred bytes and programs hold thousands of objects at
// once: the JSON library's 64 KiB first chunk would cost each of them a fresh heap page or
// two. Larger values simply take more chunks (or one chunk of their own size). With the
// pool's 24-byte chunk header a chunk is a 512-byte heap block: blocks from 1 KiB up take the
// C library's slower path for large blocks, which also sweeps its caches of freed small ones.
constexpr size_t kObjectChunkCapacity = 512 - 24;

// An object's value naming an instance names the instance of its id: ConfigStoreException
// 2000 otherwise, so an object never reaches a plugin under another name.
void CheckInstanceName(const ConfigStoreObjectId& id, const rapidjson::Value& value,
                       const ObjectSchemaFacts& schema) {
    if (schema.instanceKey.empty() || !value.IsObject()) {
        return;
    }
    const rapidjson::Value name(rapidjson::StringRef(
        schema.instanceKey.data(), static_cast<rapidjson::SizeType>(schema.instanceKey.size())));
    auto member = value.FindMember(name);
    if (member != value.MemberEnd() && member->value.IsString() &&
        id.GetInstanceId() != member->value.GetString()) {
        ThrowDataError("The value of object " + id.toString() + " is instance " +
                       member->value.GetString() + " (member " + std::string(schema.instanceKey) +
                       ")");
    }
}

void SetSchemaText(ConfigStoreObject& object, const ObjectSchemaFacts& schema) {
    static const std::string kSchemaName(kSchemaAttribute);
    object.SetValue(kSchemaName, schema.schemaText);
}

}  // namespace

bool StoreObject::GetValue(const std::string& name, std::string* out) const {
    auto found = attributes_.find(name);
    if (found == attributes_.end()) {
        return false;
    }
    if (out) {
        *out = found->second;
    }
    return true;
}

void StoreObject::SetValue(const std::string& name, std::string_view text) {
    auto [attribute, added] = attributes_.try_emplace(name, text);
    if (!added) {
        attribute->second.assign(text);
    }
}

ConfigStoreObject::ConfigStoreObject(ConfigStoreObjectId id) : id_(std::move(id)) {}

std::string ConfigStoreObject::GetSerializedData() const {
    std::string text;
    GetSerializedData(text);
    return text;
}

void ConfigStoreObject::GetSerializedData(std::string& out) const {
    if (value_) {
        WriteJsonText(value_->GetDocument(), out);
    } else if (view_) {
        WriteJsonText(*view_, out);
    } else {
        out.clear();
    }
}

std::shared_ptr<JsonDoc> ConfigStoreObject::GetJsonDoc() {
    if (!value_) {
        value_ = std::make_shared<JsonDoc>(kObjectChunkCapacity);
        if (view_) {
            static_cast<rapidjson::Value&>(value_->GetDocument()) =
                CopyJsonValue(*view_, value_->GetAllocator());
            view_ = nullptr;
        }
    }
    return value_;
}

std::shared_ptr<ConfigStoreObject> CreateObject(const ConfigStoreObjectId& id,
                                                const std::string& text,
                                                std::optional<unsigned long> index) {
    auto object = std::make_shared<ConfigStoreObject>(id);
    ParseStoreJson(text, object->GetJsonDoc()->GetDocument(), "object ", id);
    object->SetIndex(index);
    return object;
}

std::shared_ptr<ConfigStoreObject> CreateObject(const ConfigStoreObjectId& id,
                                                const rapidjson::Value& value,
                                                std::optional<unsigned long> index) {
    auto object = std::make_shared<ConfigStoreObject>(id);
    std::shared_ptr<JsonDoc> doc = object->GetJsonDoc();
    static_cast<rapidjson::Value&>(doc->GetDocument()) = CopyJsonValue(value, doc->GetAllocator());
    object->SetIndex(index);
    return object;
}

std::shared_ptr<ConfigStoreObject> CreateObject(const ConfigStoreObjectId& id,
                                                const rapidjson::Value& value,
                                                const ObjectSchemaFacts& schema,
                                                std::optional<unsigned long> index) {
    CheckInstanceName(id, value, schema);
    auto object = CreateObject(id, value, index);
    SetSchemaText(*object, schema);
    return object;
}

std::shared_ptr<ConfigStoreObject> CreateObjectView(const ConfigStoreObjectId& id,
                                                    const rapidjson::Value& value,
                                                    const ObjectSchemaFacts& schema,
                                                    std::optional<unsigned long> index) {
    CheckInstanceName(id, value, schema);
    auto object = std::make_shared<ConfigStoreObject>(id);
    object->view_ = &value;
    object->SetIndex(index);
    SetSchemaText(*object, schema);
    return object;
}

std::string GenerateInstanceId() {
    static const char kHex[] = "0123456789abcdef";
    std::random_device device;
    std::uniform_int_distribution<unsigned> nibble(0, 15);
    std::string id;
    for (int i = 0; i < 32; ++i) {
        unsigned digit = nibble(device);
        if (i == 12) {
            digit = 4;  // version 4: random
        } else if (i == 16) {
            digit = 8 | (digit & 3);  // variant 10xx
        }
        if (i == 8 || i == 12 || i == 16 || i == 20) {
            id += '-';
        }
        id += kHex[digit];
    }
    return id;
}

}  // namespace TarnConfigStore
