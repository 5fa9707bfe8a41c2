#include "store_schema.h"

#include "sqlite_statement.h"
#include "tarn/configstore/config_store.h"

namespace TarnConfigStore {

namespace {

// The five tables of configuration rows share one layout.
#define TARN_ROW_TABLE(name)                                     \
    "CREATE TABLE " name                                         \
    " (seq INTEGER PRIMARY KEY, component TEXT NOT NULL, "       \
    "config_group TEXT NOT NULL, name TEXT NOT NULL, "           \
    "identifier TEXT NOT NULL DEFAULT '', value TEXT NOT NULL, " \
    "auto_conf_value TEXT NOT NULL DEFAULT '', "                 \
    "UNIQUE (component, config_group, name, identifier));"

const char kCreateTables[] = TARN_ROW_TABLE("current_config")
    TARN_ROW_TABLE("desired_config")
    TARN_ROW_TABLE("default_config")
    TARN_ROW_TABLE("smartnic_config")
    TARN_ROW_TABLE("desired_smartnic_config")
    "CREATE TABLE boot_mode (id INTEGER PRIMARY KEY CHECK (id = 1), mode INTEGER NOT NULL);"
    "CREATE TABLE boot_apply_state (id INTEGER PRIMARY KEY CHECK (id = 1), "
    "is_boot_complete INTEGER NOT NULL, boot_apply_record TEXT NOT NULL);"
    "CREATE TABLE boot_restore_failures (seq INTEGER PRIMARY KEY, component TEXT NOT NULL, "
    "config_group TEXT NOT NULL, name TEXT NOT NULL);"
    "CREATE TABLE store_objects (namespace TEXT NOT NULL, component TEXT NOT NULL, "
    "config_group TEXT NOT NULL, name TEXT NOT NULL, identifier TEXT NOT NULL, "
    "value TEXT NOT NULL, attributes TEXT NOT NULL, "
    "PRIMARY KEY (namespace, component, config_group, name, identifier));";

#undef TARN_ROW_TABLE

int64_t QueryNumber(const DBStore::StoreConnection& connection, const char* sql) {
    Statement statement(connection, sql);
    return statement.Step() ? statement.Integer(0) : 0;
}

// Refuses a database this store did not make, or made by a newer version of it.
void CheckOwnership(const DBStore::StoreConnection& connection, int64_t version) {
    if (version > kStoreSchemaVersion) {
        connection.Fail("the database has schema version " + std::to_string(version) +
                        ", this store reads version " + std::to_string(kStoreSchemaVersion));
    }
    if (version != kStoreSchemaVersion &&
        QueryNumber(connection, "SELECT count(*) FROM sqlite_master") != 0) {
        connection.Fail("the file holds tables that are not a configuration store's");
    }
}

// Page size of stores created from now on. A whole-table read (every extraction) costs one read
// call per page once the table outgrows the page cache: 16 KiB pages take a quarter of the calls
// of SQLite's 4 KiB default, while a one-row write still logs few bytes. Stores made with other
// page sizes keep theirs: SQLite reads any page size.
constexpr int kNewStorePageSize = 16384;

void UseWriteAheadLog(DBStore::StoreConnection& connection) {
    Statement statement(connection, "PRAGMA journal_mode = WAL");
    if (!statement.Step() || statement.Text(0) != "wal") {
        connection.Fail("cannot switch the database to write-ahead logging");
    }
}

}  // namespace

void CheckStoreSchema(const DBStore::StoreConnection& connection) {
    int64_t version = QueryNumber(connection, "PRAGMA user_version");
    CheckOwnership(connection, version);
    if (version != kStoreSchemaVersion) {
        connection.Fail("the database holds no configuration store yet and cannot be created");
    }
}

void EnsureStoreSchema(DBStore::StoreConnection& connection) {
    // Nothing is written before the file is known to be a store's (or empty).
    int64_t version = QueryNumber(connection, "PRAGMA user_version");
    CheckOwnership(connection, version);
    if (version != kStoreSchemaVersion) {
        // A file without a version holds no tables (checked above). It takes a page size only
        // before anything, the switch to write-ahead logging included, writes its first page.
        connection.Execute(("PRAGMA page_size = " + std::to_string(kNewStorePageSize)).c_str());
    }
    UseWriteAheadLog(connection);
    if (QueryNumber(connection, "PRAGMA user_version") == kStoreSchemaVersion) {
        return;
    }
    // Another process may be creating the tables right now: decide under the write lock.
    ConfigStoreTransaction transaction(connection);
    version = QueryNumber(connection, "PRAGMA user_version");
    CheckOwnership(connection, version);
    if (version == kStoreSchemaVersion) {
        return;
    }
    connection.Execute(kCreateTables);
    connection.Execute(("PRAGMA user_version = " + std::to_string(kStoreSchemaVersion)).c_str());
    transaction.Commit();
}

}  // namespace TarnConfigStore
