// SchemaObjectId: the identity of one configuration key's schema (component, group, key).
// A plain value; hashable through SchemaObjectIdHash (also std::hash) for unordered containers.
// Any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnSchemaStore {

class SchemaObjectId {
public:
    SchemaObjectId(std::string component, std::string group, std::string key);

    const std::string& GetComponent() const { return component_; }
    const std::string& GetGroup() const { return group_; }
    const std::string& GetKey() const { return key_; }

    // "comp <component> grp <group> key <key>", the form used in log lines and messages.
    std::string toString() const;

    bool operator==(const SchemaObjectId& other) const;
    bool operator!=(const SchemaObjectId& other) const { return !(*this == other); }

private:
    std::string component_;
    std::string group_;
    std::string key_;
};

struct SchemaObjectIdHash {
    size_t operator()(const SchemaObjectId& id) const;
};

}  // namespace TarnSchemaStore

namespace std {
template <>
struct hash<TarnSchemaStore::SchemaObjectId> : TarnSchemaStore::SchemaObjectIdHash {};
}  // namespace std

TARN_PUBLIC_END
