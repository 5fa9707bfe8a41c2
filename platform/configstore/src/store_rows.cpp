#include "tarn/configstore/store_rows.h"

#include <sqlite3.h>

#include <iterator>
#include <set>
#include <string_view>

#include "sqlite_statement.h"
#include "store_json.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/config_store.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"

namespace TarnConfigStore {

namespace {

const char* TableName(RowTable table) {
    switch (table) {
        case RowTable::kCurrent:
            return "current_config";
        case RowTable::kDesired:
            return "desired_config";
        case RowTable::kDefault:
            return "default_config";
        case RowTable::kSmartnic:
            return "smartnic_config";
        case RowTable::kDesiredSmartnic:
            return "desired_smartnic_config";
    }
    ThrowDataError("unknown row table " + std::to_string(static_cast<int>(table)));
}

// Rows are written here with texts already in compact form.
void InsertRow(DBStore::StoreConnection& connection, RowTable table, const StoreRow& row) {
    std::string sql = std::string("INSERT INTO ") + TableName(table) +
                      " (component, config_group, name, identifier, value, auto_conf_value)"
                      " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"
                      " ON CONFLICT (component, config_group, name, identifier) DO UPDATE"
                      " SET value = excluded.value, auto_conf_value = excluded.auto_conf_value";
    Statement(connection, sql.c_str())
        .Bind(1, row.component)
        .Bind(2, row.group)
        .Bind(3, row.key)
        .Bind(4, row.identifier)
        .Bind(5, row.value)
        .Bind(6, row.autoConfValue)
        .Run();
}

// " WHERE ..." selecting the rows of id's key, or of its one instance when it has an id.
std::string KeyFilter(const ConfigStoreObjectId& id) {
    std::string filter = " WHERE component = ?1 AND config_group = ?2 AND name = ?3";
    return id.GetInstanceId().empty() ? filter : filter + " AND identifier = ?4";
}

void BindKey(Statement& statement, const ConfigStoreObjectId& id) {
    statement.Bind(1, id.GetComponent()).Bind(2, id.GetGroup()).Bind(3, id.GetKey());
    if (!id.GetInstanceId().empty()) {
        statement.Bind(4, id.GetInstanceId());
    }
}

// One condition per key, joined by OR: each is a search of the unique index, where a row-value
// IN list would scan the whole table.
std::string KeysFilter(size_t keys) {
    std::string filter;
    for (size_t i = 0; i < keys; ++i) {
        std::string first = std::to_string(3 * i + 1);
        filter += (i == 0 ? " WHERE " : " OR ") + std::string("(component = ?") + first +
                  " AND config_group = ?" + std::to_string(3 * i + 2) + " AND name = ?" +
                  std::to_string(3 * i + 3) + ")";
    }
    return filter;
}

// Runs onRow(statement) for every row the filter (a WHERE clause, or nothing) selects, in the
// store's order; bind(statement) sets the filter's parameters first.
template <typename Bind, typename OnRow>
void SelectEach(DBStore::StoreConnection& connection, RowTable table, const std::string& filter,
                Bind bind, OnRow onRow) {
    std::string sql = std::string("SELECT component, config_group, name, identifier, value, ") +
                      "auto_conf_value FROM " + TableName(table) + filter + " ORDER BY seq";
    Statement statement(connection, sql.c_str());
    bind(statement);
    while (statement.Step()) {
        onRow(statement);
    }
}

void BindNothing(Statement&) {}

// Calls visit with each row the filter selects, its texts straight from SQLite.
template <typename Bind>
void VisitSelected(DBStore::StoreConnection& store, RowTable table, const std::string& filter,
                   Bind bind, const std::function<void(const StoreRowView&)>& visit) {
    SelectEach(store, table, filter, bind, [&visit](Statement& statement) {
        visit(StoreRowView{statement.TextView(0), statement.TextView(1), statement.TextView(2),
                           statement.TextView(3), statement.TextView(4), statement.TextView(5)});
    });
}

ConfigRowList SelectRows(DBStore::StoreConnection& connection, RowTable table,
                         const ConfigStoreObjectId* key) {
    static const std::string kColumns[] = {"Component",  "ConfigGroup", "Name",
                                           "Identifier", "Value",       "AutoConfValue"};
    ConfigRowList rows;
    auto bind = [key](Statement& statement) {
        if (key) {
            BindKey(statement, *key);
        }
    };
    SelectEach(connection, table, key ? KeyFilter(*key) : "", bind, [&rows](Statement& statement) {
        auto row = std::make_shared<ConfigRow>();
        row->reserve(std::size(kColumns));
        for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column) {
            std::string_view text = statement.TextView(column);
            row->try_emplace(kColumns[column], text.data(), text.size());
        }
        rows.push_back(std::move(row));
    });
    return rows;
}

std::string Name(const rapidjson::Value& name) {
    return std::string(name.GetString(), name.GetStringLength());
}

std::string InstanceIdentifier(const rapidjson::Value& element, const std::string& keyProperty,
                               size_t position) {
    for (const std::string& name : {keyProperty, std::string("cs_generated_id")}) {
        auto member = name.empty() ? element.MemberEnd() : element.FindMember(name);
        if (member != element.MemberEnd() && member->value.IsString()) {
            return Name(member->value);
        }
    }
    return "#" + std::to_string(position);
}

// The rows of one key's value: the object itself, or each instance of an array.
void AppendKeyRows(const rapidjson::Value& value, StoreRow row, const InstanceKeyResolver& resolver,
                   std::vector<StoreRow>& rows) {
    std::string place = "/" + row.component + "/" + row.group + "/" + row.key;
    if (value.IsObject()) {
        row.value = WriteJsonText(value);
        rows.push_back(std::move(row));
        return;
    }
    if (!value.IsArray()) {
        ThrowDataError("The value of " + place + " is neither an object nor an array");
    }
    std::string keyProperty = resolver ? resolver(row.component, row.group, row.key) : "";
    std::set<std::string> seen;
    for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
        if (!value[i].IsObject()) {
            ThrowDataError("Instance " + place + "/" + std::to_string(i) + " is not an object");
        }
        row.identifier = InstanceIdentifier(value[i], keyProperty, i);
        if (!seen.insert(row.identifier).second) {
            ThrowDataError("Instance id \"" + row.identifier + "\" appears twice in " + place);
        }
        row.value = WriteJsonText(value[i]);
        rows.push_back(row);
    }
}

const rapidjson::Value& ObjectMember(const rapidjson::Value& value, const std::string& what) {
    if (!value.IsObject()) {
        ThrowDataError(what + " is not an object");
    }
    return value;
}

std::vector<StoreRow> RowsOfDocument(const rapidjson::Value& document,
                                     const InstanceKeyResolver& resolver) {
    const rapidjson::Value* root = &document;
    if (root->IsObject() && root->HasMember("profile")) {
        root = &(*root)["profile"];
    }
    std::vector<StoreRow> rows;
    for (const auto& component : ObjectMember(*root, "The document").GetObject()) {
        std::string componentName = Name(component.name);
        for (const auto& group :
             ObjectMember(component.value, "Component " + componentName).GetObject()) {
            StoreRow row{componentName, Name(group.name), "", "", "", ""};
            for (const auto& key :
                 ObjectMember(group.value, "Group /" + componentName + "/" + row.group)
                     .GetObject()) {
                row.key = Name(key.name);
                AppendKeyRows(key.value, row, resolver, rows);
            }
        }
    }
    return rows;
}

void ReplaceRows(RowTable table, const rapidjson::Value& document,
                 const InstanceKeyResolver& resolver, bool desiredPending) {
    std::vector<StoreRow> rows = RowsOfDocument(document, resolver);
    auto connection = GetDBStore(DBStore::CONFIG_STORE, true);
    ConfigStoreTransaction transaction(connection);
    connection->Execute((std::string("DELETE FROM ") + TableName(table)).c_str());
    for (const StoreRow& row : rows) {
        InsertRow(*connection, table, row);
    }
    if (desiredPending) {
        SetBootMode(DESIRED_PENDING);
    }
    transaction.Commit();
}

}  // namespace

void PutRow(const std::shared_ptr<DBStore::StoreConnection>& connection, RowTable table,
            const StoreRow& row) {
    std::string what =
        "row " + ConfigStoreObjectId(row.key, row.group, row.component, row.identifier).toString();
    if (row.component.empty() || row.group.empty() || row.key.empty()) {
        ThrowDataError("The " + what + " lacks a component, group or key name");
    }
    StoreRow compact = row;
    if (row.value != kDeleteDefaultValue) {
        compact.value = CompactStoreJson(row.value, "the " + what);
    }
    if (!row.autoConfValue.empty()) {
        compact.autoConfValue =
            CompactStoreJson(row.autoConfValue, "the auto-configuration of the " + what);
    }
    InsertRow(RequireConnection(connection), table, compact);
}

void PutCurrentRow(const std::shared_ptr<DBStore::StoreConnection>& connection,
                   const std::string& component, const std::string& group, const std::string& key,
                   const std::string& identifier, const std::string& value,
                   const std::string& autoConfValue) {
    PutRow(connection, RowTable::kCurrent,
           StoreRow{component, group, key, identifier, value, autoConfValue});
}

void PutDefaultRow(const std::shared_ptr<DBStore::StoreConnection>& connection,
                   const std::string& component, const std::string& group, const std::string& key,
                   const std::string& identifier, const std::string& value,
                   const std::string& autoConfValue) {
    PutRow(connection, RowTable::kDefault,
           StoreRow{component, group, key, identifier, value, autoConfValue});
}

void PutSmartnicRow(const std::shared_ptr<DBStore::StoreConnection>& connection,
                    const std::string& component, const std::string& group, const std::string& key,
                    const std::string& identifier, const std::string& value) {
    PutRow(connection, RowTable::kSmartnic, StoreRow{component, group, key, identifier, value, ""});
}

int DeleteRows(const std::shared_ptr<DBStore::StoreConnection>& connection, RowTable table,
               const ConfigStoreObjectId& id) {
    DBStore::StoreConnection& store = RequireConnection(connection);
    std::string sql = std::string("DELETE FROM ") + TableName(table) + KeyFilter(id);
    Statement statement(store, sql.c_str());
    BindKey(statement, id);
    statement.Run();
    return sqlite3_changes(store.GetHandle());
}

ConfigRowList ReadRows(const std::shared_ptr<DBStore::StoreConnection>& connection,
                       RowTable table) {
    return SelectRows(RequireConnection(connection), table, nullptr);
}

std::vector<StoreRow> ReadStoreRows(const std::shared_ptr<DBStore::StoreConnection>& connection,
                                    RowTable table) {
    DBStore::StoreConnection& store = RequireConnection(connection);
    // Sized once: grown row by row, a table of thousands of rows would be copied into ever
    // larger blocks, each a fresh mapping of its own.
    Statement count(store, (std::string("SELECT count(*) FROM ") + TableName(table)).c_str());
    std::vector<StoreRow> rows;
    if (count.Step()) {
        rows.reserve(static_cast<size_t>(count.Integer(0)));
    }
    SelectEach(store, table, "", BindNothing, [&rows](Statement& statement) {
        // Strings built from the column texts, then moved in: cheaper than assigning to the
        // empty strings of a row made first.
        rows.push_back({std::string(statement.TextView(0)), std::string(statement.TextView(1)),
                        std::string(statement.TextView(2)), std::string(statement.TextView(3)),
                        std::string(statement.TextView(4)), std::string(statement.TextView(5))});
    });
    return rows;
}

void VisitStoreRows(const std::shared_ptr<DBStore::StoreConnection>& connection, RowTable table,
                    const std::function<void(const StoreRowView&)>& visit,
                    const std::vector<ConfigStoreObjectId>* keys) {
    DBStore::StoreConnection& store = RequireConnection(connection);
    if (keys && keys->empty()) {
        return;
    }
    auto bind = [keys](Statement& statement) {
        for (size_t i = 0; keys && i < keys->size(); ++i) {
            const ConfigStoreObjectId& key = (*keys)[i];
            int first = static_cast<int>(3 * i + 1);
            statement.Bind(first, key.GetComponent())
                .Bind(first + 1, key.GetGroup())
                .Bind(first + 2, key.GetKey());
        }
    };
    VisitSelected(store, table, keys ? KeysFilter(keys->size()) : "", bind, visit);
}

void VisitStoreRowsBetween(const std::shared_ptr<DBStore::StoreConnection>& connection,
                           RowTable table, int64_t from, int64_t to,
                           const std::function<void(const StoreRowView&)>& visit) {
    auto bind = [from, to](Statement& statement) { statement.Bind(1, from).Bind(2, to); };
    VisitSelected(RequireConnection(connection), table, " WHERE seq >= ?1 AND seq < ?2", bind,
                  visit);
}

RowSpan GetRowSpan(const std::shared_ptr<DBStore::StoreConnection>& connection, RowTable table,
                   int64_t countLimit) {
    // min() and max() each alone in a query are one lookup in the row order; together, or
    // next to count(*), they make SQLite go through every row.
    const std::string name = TableName(table);
    std::string sql = "SELECT (SELECT min(seq) FROM " + name + "), (SELECT max(seq) FROM " + name +
                      "), (SELECT count(*) FROM (SELECT 1 FROM " + name + " LIMIT ?1))";
    Statement statement(RequireConnection(connection), sql.c_str());
    statement.Bind(1, countLimit);
    RowSpan span;
    if (statement.Step() && statement.Integer(2) > 0) {
        span.first = statement.Integer(0);
        span.end = statement.Integer(1) + 1;
        span.count = statement.Integer(2);
    }
    return span;
}

ConfigRowList ReadKeyRows(const std::shared_ptr<DBStore::StoreConnection>& connection,
                          RowTable table, const ConfigStoreObjectId& id) {
    return SelectRows(RequireConnection(connection), table, &id);
}

ConfigRowList GetUserConfigContents(const std::shared_ptr<DBStore::StoreConnection>& connection) {
    return ReadRows(connection, RowTable::kCurrent);
}

ConfigRowList GetDesiredUserConfigContents(
    const std::shared_ptr<DBStore::StoreConnection>& connection) {
    return ReadRows(connection, RowTable::kDesired);
}

ConfigRowList GetSmartnicConfiguration(
    const std::shared_ptr<DBStore::StoreConnection>& connection) {
    return ReadRows(connection, RowTable::kSmartnic);
}

ConfigRowList GetDefaultUserConfigMapList(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection) {
    return ReadKeyRows(connection, RowTable::kDefault, id);
}

bool CheckDesiredObjectExists(const ConfigStoreObjectId& id,
                              const std::shared_ptr<DBStore::StoreConnection>& connection) {
    return !ReadKeyRows(connection, RowTable::kDesired, id).empty();
}

void SetDesiredUserConfig(const rapidjson::Value& document, const InstanceKeyResolver& resolver) {
    ReplaceRows(RowTable::kDesired, document, resolver, true);
}

void SetDesiredSmartnicConfiguration(const rapidjson::Value& document,
                                     const InstanceKeyResolver& resolver) {
    ReplaceRows(RowTable::kDesiredSmartnic, document, resolver, false);
}

}  // namespace TarnConfigStore
