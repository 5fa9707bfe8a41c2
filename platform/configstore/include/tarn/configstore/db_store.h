// DBStore: connections to the configuration store's SQLite database at TarnPaths::kConfigStoreDb.
// GetDBStore hands each thread one shared connection, so every read and write a thread makes
// while a ConfigStoreTransaction is open joins that transaction; the thread's connection stays
// open between calls while the database file is the same. A connection belongs to the thread
// (and process) that obtained it; never share one.
#pragma once

#include <memory>
#include <string>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

struct sqlite3;

namespace DBStore {

// Which database to open. Only the configuration store exists.
enum Type { CONFIG_STORE = 0 };

class StoreConnection {
public:
    // readOnly: the store's folder cannot be written, so neither can the database.
    StoreConnection(sqlite3* handle, std::string path, bool readOnly = false);
    ~StoreConnection();
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;

    const std::string& GetPath() const { return path_; }
    sqlite3* GetHandle() const { return handle_; }

    // Runs one or more statements that return no rows; throws ConfigStoreException 1001.
    void Execute(const char* sql);

    // Nested write transactions: the outermost is BEGIN IMMEDIATE ... COMMIT, inner ones are
    // savepoints. Calls must pair up last-in first-out; ConfigStoreTransaction does that.
    void BeginTransaction();
    void CommitTransaction();
    void RollbackTransaction();
    bool IsReadOnly() const { return readOnly_; }

    // Throws ConfigStoreException 1001 naming the database file, what failed and SQLite's
    // reason (resultCode's, when the connection holds no error of that code). Store code
    // reports every SQLite failure through this.
    [[noreturn]] void Fail(const std::string& what, int resultCode = 0) const;

private:
    sqlite3* handle_;
    std::string path_;
    bool readOnly_;
    unsigned depth_ = 0;
};

}  // namespace DBStore

namespace TarnConfigStore {

// The calling thread's connection to the store, opened (and, when create is set, the database
// file and its tables created) on first use. The database and its journal files are kept 0600.
// In a read-only folder the connection reads the file as it is and every write fails saying
// so. Throws ConfigStoreException 1001 naming the file when the folder is missing, the file is
// locked, corrupt, not a store, or unwritable.
std::shared_ptr<DBStore::StoreConnection> GetDBStore(DBStore::Type type, bool create);

}  // namespace TarnConfigStore

namespace DBStore {
using TarnConfigStore::GetDBStore;
}  // namespace DBStore

TARN_PUBLIC_END
