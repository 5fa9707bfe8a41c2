#include "tarn/schemastore/schema_object_id.h"

#include <utility>

namespace TarnSchemaStore {

SchemaObjectId::SchemaObjectId(std::string component, std::string group, std::string key)
    : component_(std::move(component)), group_(std::move(group)), key_(std::move(key)) {}

std::string SchemaObjectId::toString() const {
    return "comp " + component_ + " grp " + group_ + " key " + key_;
}

bool SchemaObjectId::operator==(const SchemaObjectId& other) const {
    return key_ == other.key_ && group_ == other.group_ && component_ == other.component_;
}

size_t SchemaObjectIdHash::operator()(const SchemaObjectId& id) const {
    std::hash<std::string> hashString;
    size_t seed = hashString(id.GetComponent());
    for (const std::string* part : {&id.GetGroup(), &id.GetKey()}) {
        seed ^= hashString(*part) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    }
    return seed;
}

}  // namespace TarnSchemaStore
