#include "deradidezivizoda/extract/mutable_default.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "boost/algorithm/string/join.hpp"
#include "deradidezivizoda/core/config_rows.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "row_columns.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

using KeyRows = std::unordered_map<TarnSchemaStore::SchemaObjectId, RowList>;

// Moves the rows of the keys of groups out of rows into their group, keeping both orders.
void MoveKeyRows(RowList& rows, KeyRows& groups) {
    RowList others;
    for (auto& row : rows) {
        auto group = groups.find(RowKey(*row));
        if (group == groups.end()) {
            others.push_back(std::move(row));
            continue;
        }
        CSLogger::Log(0, "Configuration found for mutableDefaultConfig schema %s",
                      group->first.toString().c_str());
        group->second.push_back(std::move(row));
    }
    rows = std::move(others);
}

// The JSON schema of a key's whole value: a multi-instance key's definition describes one
// instance, so its value (an array of instances) compares as a set identified by the key.
rapidjson::Document ValueSchema(const TarnSchemaStore::SchemaObject& schema) {
    rapidjson::Document valueSchema;
    valueSchema.CopyFrom(schema.GetDefinition(), valueSchema.GetAllocator());
    if (!schema.IsMultiInstance()) {
        return valueSchema;
    }
    rapidjson::Document array(rapidjson::kObjectType);
    auto& allocator = array.GetAllocator();
    array.AddMember("type", "array", allocator);
    array.AddMember("instanceId", rapidjson::Value(schema.GetInstanceKey(), allocator), allocator);
    array.AddMember("items", rapidjson::Value(valueSchema, allocator), allocator);
    return array;
}

// Whether the user rows hold the key's default configuration (reserved instances aside).
bool EqualsDefault(const TarnSchemaStore::SchemaObjectId& id, const RowList& userRows,
                   const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema,
                   const std::shared_ptr<DBStore::StoreConnection>& connection) {
    RowList defaults = GetExternalDefaultUserConfig(
        TarnConfigStore::ConfigStoreObjectId(id.GetKey(), id.GetGroup(), id.GetComponent()),
        connection, schema);
    rapidjson::Document user = CreateDocumentFromMap(userRows);
    rapidjson::Document byDefault = CreateDocumentFromMap(defaults);
    return ConfigStoreDocument::IsEqualValue(user, byDefault, ValueSchema(*schema));
}

}  // namespace

namespace {

// The rows of every mutable-default key, none moved there yet.
KeyRows MutableDefaultGroups(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store,
                             bool smartnic) {
    CSLogger::Log(3, "%s invoked", "ProcessMutableDefaultConfig");
    KeyRows groups;
    for (const auto& id : RequireSchemaStore(store)->GetMutableDefaultKeys(smartnic)) {
        groups.emplace(id, RowList());
    }
    return groups;
}

// MoveKeyRows for plain records: those of the keys of groups become row maps in their group.
void MoveKeyRecords(std::vector<TarnConfigStore::StoreRow>& rows, KeyRows& groups) {
    if (groups.empty()) {
        return;
    }
    auto movesOut = [&groups](TarnConfigStore::StoreRow& row) {
        auto group =
            groups.find(TarnSchemaStore::SchemaObjectId(row.component, row.group, row.key));
        if (group == groups.end()) {
            return false;
        }
        CSLogger::Log(0, "Configuration found for mutableDefaultConfig schema %s",
                      group->first.toString().c_str());
        group->second.push_back(RowMapOf(std::move(row)));
        return true;
    };
    // remove_if tests the rows once each, in order, so the lines keep the rows' order.
    rows.erase(std::remove_if(rows.begin(), rows.end(), movesOut), rows.end());
}

// Appends to rows the rows of each group that differ from the key's default.
void AppendChangedGroups(RowList& rows, const KeyRows& groups,
                         const std::shared_ptr<DBStore::StoreConnection>& connection,
                         const std::shared_ptr<TarnSchemaStore::SchemaStore>& store) {
    for (const auto& [id, group] : groups) {
        std::string key = id.toString();
        if (group.empty()) {
            ThrowException<ConfigManagerException>(DELETE_DEFAULT_NOT_SUPPORTED, key);
        }
        CSLogger::Log(0, "Checking if mutableDefaultConfig schema %s has solution instances",
                      key.c_str());
        std::shared_ptr<TarnSchemaStore::SchemaObject> schema = RequireSchema(id, store);
        RowList userRows = group;
        FilterSolutionUserInstances(userRows, schema);
        if (userRows.empty()) {
            ThrowException<ConfigManagerException>(DELETE_DEFAULT_NOT_SUPPORTED, key);
        }
        if (EqualsDefault(id, userRows, schema, connection)) {
            CSLogger::Log(0,
                          "User configuration is same as default for mutableDefaultConfig "
                          "schema %s ",
                          key.c_str());
            continue;
        }
        CSLogger::Log(0,
                      "User configuration is not same as default for mutableDefaultConfig "
                      "schema %s ",
                      key.c_str());
        rows.insert(rows.end(), userRows.begin(), userRows.end());
    }
}

}  // namespace

void ProcessMutableDefaultConfig(RowList& rows,
                                 std::shared_ptr<DBStore::StoreConnection> connection,
                                 std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                                 bool smartnic) {
    KeyRows groups = MutableDefaultGroups(store, smartnic);
    MoveKeyRows(rows, groups);
    AppendChangedGroups(rows, groups, connection, store);
}

void ProcessMutableDefaultConfig(std::vector<TarnConfigStore::StoreRow>& rows, RowList& more,
                                 const std::shared_ptr<DBStore::StoreConnection>& connection,
                                 const std::shared_ptr<TarnSchemaStore::SchemaStore>& store) {
    KeyRows groups = MutableDefaultGroups(store, false);
    MoveKeyRecords(rows, groups);
    MoveKeyRows(more, groups);
    AppendChangedGroups(more, groups, connection, store);
}

namespace {

// The deletes check over the keys of whatever rows forEachKey(erase) hands to erase.
template <typename ForEachKey>
void CheckMutableDefaultDeletes(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store,
                                ForEachKey forEachKey) {
    CSLogger::Log(3, "%s invoked", "ProcessMutableDefaultDeletes");
    auto missing = RequireSchemaStore(store)->GetMutableDefaultKeys(false);
    forEachKey([&missing](const TarnSchemaStore::SchemaObjectId& id) {
        missing.erase(id);
        return !missing.empty();
    });
    if (missing.empty()) {
        return;
    }
    std::vector<std::string> keys;
    for (const auto& id : missing) {
        keys.push_back(id.toString());
    }
    std::sort(keys.begin(), keys.end());
    ThrowException<ConfigManagerException>(DELETE_DEFAULT_NOT_SUPPORTED,
                                           boost::algorithm::join(keys, ","));
}

}  // namespace

void ProcessMutableDefaultDeletes(const RowList& rows,
                                  const std::shared_ptr<TarnSchemaStore::SchemaStore>& store) {
    CheckMutableDefaultDeletes(store, [&rows](auto erase) {
        for (auto row = rows.begin(); row != rows.end() && erase(RowKey(**row)); ++row) {
        }
    });
}

void ProcessMutableDefaultDeletes(const std::shared_ptr<DBStore::StoreConnection>& connection,
                                  const ExtractionData& plugins,
                                  const std::shared_ptr<TarnSchemaStore::SchemaStore>& store) {
    CheckMutableDefaultDeletes(store, [&](auto erase) {
        // Only the rows of the keys asked about are read, and only their keys matter.
        std::vector<TarnConfigStore::ConfigStoreObjectId> keys;
        for (const auto& id : store->GetMutableDefaultKeys(false)) {
            if (plugins.keys.count(id) == 0) {
                keys.emplace_back(id.GetKey(), id.GetGroup(), id.GetComponent());
            }
        }
        bool more = true;
        TarnConfigStore::VisitStoreRows(
            connection, TarnConfigStore::RowTable::kCurrent,
            [&](const TarnConfigStore::StoreRowView& row) {
                more = more && erase(TarnSchemaStore::SchemaObjectId(std::string(row.component),
                                                                     std::string(row.group),
                                                                     std::string(row.key)));
            },
            &keys);
        for (auto row = plugins.rows.begin(); more && row != plugins.rows.end(); ++row) {
            more = erase(RowKey(**row));
        }
    });
}

bool IsAtMutableDefault(const TarnSchemaStore::SchemaObjectId& id,
                        const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema,
                        const std::shared_ptr<DBStore::StoreConnection>& connection) {
    if (!schema || !schema->HasMutableDefault()) {
        return false;
    }
    RowList userRows = TarnConfigStore::ReadKeyRows(
        connection, TarnConfigStore::RowTable::kCurrent,
        TarnConfigStore::ConfigStoreObjectId(id.GetKey(), id.GetGroup(), id.GetComponent()));
    return !userRows.empty() && EqualsDefault(id, userRows, schema, connection);
}

}  // namespace TarnConfigManager
