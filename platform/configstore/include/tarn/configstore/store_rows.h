// Configuration rows of the store: one row per key, or per instance of a multi-instance key,
// with the value as JSON text. Five tables hold them: the host's current user configuration,
// the desired configuration, the default configuration, the SmartNIC configuration and the
// desired SmartNIC configuration. Rows come back in the order they were first written.
// Functions taking a connection use it; the others use the calling thread's connection.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tarn/configstore/config_store_object_id.h"
#include "tarn/configstore/db_store.h"
#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

// One row as callers read it: the columns "Component", "ConfigGroup", "Name", "Identifier",
// "Value" and "AutoConfValue".
using ConfigRow = std::unordered_map<std::string, std::string>;
using ConfigRowList = std::vector<std::shared_ptr<ConfigRow>>;

enum class RowTable { kCurrent, kDesired, kDefault, kSmartnic, kDesiredSmartnic };

struct StoreRow {
    std::string component;
    std::string group;
    std::string key;
    std::string identifier;     // instance id; empty for a single-instance key
    std::string value;          // JSON text, or the literal "DELETE_DEFAULT"
    std::string autoConfValue;  // JSON text, or empty
};

// One row as a visit hands it over: the texts are the database's own buffers, valid during
// the call only (the next row reuses them), each followed by a NUL. A visitor that keeps a
// row copies it (CopyRow).
struct StoreRowView {
    std::string_view component;
    std::string_view group;
    std::string_view key;
    std::string_view identifier;
    std::string_view value;
    std::string_view autoConfValue;
};

inline StoreRow CopyRow(const StoreRowView& row) {
    return StoreRow{std::string(row.component), std::string(row.group),
                    std::string(row.key),       std::string(row.identifier),
                    std::string(row.value),     std::string(row.autoConfValue)};
}

// The value text that marks a default instance the user deleted.
inline constexpr const char kDeleteDefaultValue[] = "DELETE_DEFAULT";

// Writes one row, replacing the value of an existing row with the same component, group, key
// and identifier (which keeps its place in the order). Texts are stored in compact form.
// Throws ConfigStoreException 2000 naming the row when a text is not valid JSON.
void PutRow(const std::shared_ptr<DBStore::StoreConnection>& connection, RowTable table,
            const StoreRow& row);
void PutCurrentRow(const std::shared_ptr<DBStore::StoreConnection>& connection,
                   const std::string& component, const std::string& group, const std::string& key,
                   const std::string& identifier, const std::string& value,
                   const std::string& autoConfValue = std::string());
void PutDefaultRow(const std::shared_ptr<DBStore::StoreConnection>& connection,
                   const std::string& component, const std::string& group, const std::string& key,
                   const std::string& identifier, const std::string& value,
                   const std::string& autoConfValue = std::string());
void PutSmartnicRow(const std::shared_ptr<DBStore::StoreConnection>& connection,
                    const std::string& component, const std::string& group, const std::string& key,
                    const std::string& identifier, const std::string& value);

// Removes the rows of a key (every instance when id's instance id is empty); returns how many.
int DeleteRows(const std::shared_ptr<DBStore::StoreConnection>& connection, RowTable table,
               const ConfigStoreObjectId& id);

// All rows of a table, in order, as plain records: what ReadRows gives without a map per row,
// for readers that only go through the rows once.
std::vector<StoreRow> ReadStoreRows(const std::shared_ptr<DBStore::StoreConnection>& connection,
                                    RowTable table);
// Calls visit with every row of a table, in order, or with the rows of the keys in keys only
// (every instance; their instance ids are not read) when keys is given. The texts are not
// copied: a reader that goes through the rows once holds no more than one row of them at a
// time. What visit throws ends the visit and passes through.
void VisitStoreRows(const std::shared_ptr<DBStore::StoreConnection>& connection, RowTable table,
                    const std::function<void(const StoreRowView&)>& visit,
                    const std::vector<ConfigStoreObjectId>* keys = nullptr);
// The store-order positions of a table's rows: rows are visited in order of position, and
// positions grow as rows are added. first and end are 0 without rows. Rows are counted up to
// countLimit only: the first and last positions are index lookups, while counting every row
// reads the whole table.
struct RowSpan {
    int64_t first = 0;  // the first row's position
    int64_t end = 0;    // one past the last row's
    int64_t count = 0;  // how many rows, at most countLimit
};
RowSpan GetRowSpan(const std::shared_ptr<DBStore::StoreConnection>& connection, RowTable table,
                   int64_t countLimit = INT64_MAX);
// VisitStoreRows for the rows at positions from `from` up to, without, `to`: two readers can
// go through a table's rows in two parts.
void VisitStoreRowsBetween(const std::shared_ptr<DBStore::StoreConnection>& connection,
                           RowTable table, int64_t from, int64_t to,
                           const std::function<void(const StoreRowView&)>& visit);
// All rows of a table, in order.
ConfigRowList ReadRows(const std::shared_ptr<DBStore::StoreConnection>& connection, RowTable table);
// The rows of the key of id in a table, in order: all its instances when id's instance id is
// empty, otherwise the one row of that instance (when there is one).
ConfigRowList ReadKeyRows(const std::shared_ptr<DBStore::StoreConnection>& connection,
                          RowTable table, const ConfigStoreObjectId& id);
ConfigRowList GetUserConfigContents(const std::shared_ptr<DBStore::StoreConnection>& connection);
ConfigRowList GetDesiredUserConfigContents(
    const std::shared_ptr<DBStore::StoreConnection>& connection);
ConfigRowList GetSmartnicConfiguration(const std::shared_ptr<DBStore::StoreConnection>& connection);

// Default rows of the key of id: all its instances when id's instance id is empty, otherwise
// the one row of that instance (when there is one).
ConfigRowList GetDefaultUserConfigMapList(
    const ConfigStoreObjectId& id, const std::shared_ptr<DBStore::StoreConnection>& connection);

// Whether a desired row exists for the key of id (for that instance when it has an id).
bool CheckDesiredObjectExists(const ConfigStoreObjectId& id,
                              const std::shared_ptr<DBStore::StoreConnection>& connection);

// Names the property that identifies the instances of a key ("" when not known).
using InstanceKeyResolver = std::function<std::string(
    const std::string& component, const std::string& group, const std::string& key)>;

// Replaces every desired row with the objects of a component -> group -> key document (or of
// its "profile" member). An object value is one row; an array is one row per element, whose
// identifier is the element's instance key property (from resolver), else its
// "cs_generated_id", else "#<position>". Also sets the boot mode to DESIRED_PENDING.
// All in one transaction; a document of another shape throws ConfigStoreException 2000
// naming the place and changes nothing.
void SetDesiredUserConfig(const rapidjson::Value& document,
                          const InstanceKeyResolver& resolver = InstanceKeyResolver());
// The same for the desired SmartNIC rows; the boot mode is left as it is.
void SetDesiredSmartnicConfiguration(const rapidjson::Value& document,
                                     const InstanceKeyResolver& resolver = InstanceKeyResolver());

}  // namespace TarnConfigStore

TARN_PUBLIC_END
