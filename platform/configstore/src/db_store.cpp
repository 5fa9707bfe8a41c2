#include "tarn/configstore/db_store.h"

#include <sqlite3.h>
#include <unistd.h>

#include "store_schema.h"
#include "tarn/configstore/config_store_exception.h"
#include "tarn/configstore/fault_point.h"
#include "tarn/paths.h"

namespace DBStore {

StoreConnection::StoreConnection(sqlite3* handle, std::string path)
    : handle_(handle), path_(std::move(path)) {}

// Closing a connection with a transaction still open rolls that transaction back.
StoreConnection::~StoreConnection() {
    sqlite3_close_v2(handle_);
}

void StoreConnection::Fail(const std::string& what, int resultCode) const {
    std::string message = "Configuration store " + path_ + ": " + what;
    if (resultCode != SQLITE_OK && (!handle_ || sqlite3_errcode(handle_) != resultCode)) {
        message += ": ";
        message += sqlite3_errstr(resultCode);
    } else if (handle_ && sqlite3_errcode(handle_) != SQLITE_OK) {
        message += ": ";
        message += sqlite3_errmsg(handle_);
    }
    TarnConfigStore::ConfigStoreException error(TarnConfigStore::kStoreAccessError,
                                                message.c_str());
    error.AddArg(path_);
    throw error;
}

void StoreConnection::Execute(const char* sql) {
    int rc = TarnConfigStore::InjectedFailure(TarnConfigStore::FaultStep::kSqlite);
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(handle_, sql, nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        Fail(std::string("cannot run \"") + sql + "\"", rc);
    }
}

void StoreConnection::BeginTransaction() {
    if (depth_ == 0) {
        Execute("BEGIN IMMEDIATE");
    } else {
        Execute(("SAVEPOINT tarn_" + std::to_string(depth_)).c_str());
    }
    ++depth_;
}

void StoreConnection::CommitTransaction() {
    if (depth_ == 1) {
        Execute("COMMIT");
    } else {
        Execute(("RELEASE tarn_" + std::to_string(depth_ - 1)).c_str());
    }
    --depth_;
}

void StoreConnection::RollbackTransaction() {
    if (sqlite3_get_autocommit(handle_)) {
        depth_ = 0;  // SQLite already rolled the whole transaction back after an error
        return;
    }
    --depth_;
    if (depth_ == 0) {
        Execute("ROLLBACK");
    } else {
        std::string name = "tarn_" + std::to_string(depth_);
        Execute(("ROLLBACK TO " + name + "; RELEASE " + name).c_str());
    }
}

}  // namespace DBStore

namespace TarnConfigStore {

namespace {

// How long a statement waits for another process's lock before it fails.
constexpr int kBusyTimeoutMs = 5000;

std::shared_ptr<DBStore::StoreConnection> OpenConnection(bool create) {
    sqlite3* handle = nullptr;
    // A connection stays on the thread that opened it (see GetDBStore), so SQLite need not
    // lock it around every call.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(TarnPaths::kConfigStoreDb, &handle, flags, nullptr);
    auto connection = std::make_shared<DBStore::StoreConnection>(handle, TarnPaths::kConfigStoreDb);
    if (rc != SQLITE_OK) {
        connection->Fail("cannot open the database");
    }
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    connection->Execute("PRAGMA foreign_keys = ON");
    EnsureStoreSchema(*connection);
    return connection;
}

// The thread's live connection. The process id guards against a forked child reusing its
// parent's connection, which SQLite forbids.
struct ThreadConnection {
    pid_t pid = 0;
    std::weak_ptr<DBStore::StoreConnection> connection;
};
thread_local ThreadConnection tConnection;

}  // namespace

std::shared_ptr<DBStore::StoreConnection> GetDBStore(DBStore::Type type, bool create) {
    if (type != DBStore::CONFIG_STORE) {
        std::string message = "Configuration store: unknown database type " + std::to_string(type);
        throw ConfigStoreException(kStoreAccessError, message.c_str());
    }
    pid_t pid = getpid();
    if (tConnection.pid == pid) {
        if (auto live = tConnection.connection.lock()) {
            return live;
        }
    }
    auto connection = OpenConnection(create);
    tConnection.pid = pid;
    tConnection.connection = connection;
    return connection;
}

}  // namespace TarnConfigStore
