#include "tarn/configstore/db_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "store_schema.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/fault_point.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace DBStore {

StoreConnection::StoreConnection(sqlite3* handle, std::string path, bool readOnly)
    : handle_(handle), path_(std::move(path)), readOnly_(readOnly) {}

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
    if (readOnly_) {
        message += " (the store's folder is read-only: the store can only be read)";
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

// The store holds secrets (password hashes among them): the database and its journal files
// are for the owner alone.
constexpr mode_t kStoreFileMode = 0600;
const char* const kJournalSuffixes[] = {"", "-wal", "-shm", "-journal"};

// Creates the database file 0600 when asked to create it (SQLite gives its journal files the
// mode of the database), and takes group and other access from an existing database and
// journal files of ours. A file that cannot be created or changed is left for SQLite to report.
void SecureStoreFiles(bool create) {
    const std::string path = TarnPaths::kConfigStoreDb;
    if (create) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kStoreFileMode);
        if (fd >= 0) {
            close(fd);
        }
    }
    for (const char* suffix : kJournalSuffixes) {
        std::string file = path + suffix;
        struct stat status {};
        if (lstat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            status.st_uid == geteuid() && (status.st_mode & 07777) != kStoreFileMode) {
            chmod(file.c_str(), kStoreFileMode);
        }
    }
}

// Whether the folder of the database cannot be written: a read-only file system, or (for a
// process without the privilege to ignore it) a folder without write permission.
bool StoreFolderReadOnly() {
    std::string folder = TarnPaths::kConfigStoreDb;
    folder.erase(folder.rfind('/'));
    struct statvfs fs {};
    if (statvfs(folder.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY)) {
        return true;
    }
    return access(folder.c_str(), W_OK) != 0 && errno == EACCES;
}

std::shared_ptr<DBStore::StoreConnection> Open(int flags, const std::string& name, bool readOnly) {
    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(name.c_str(), &handle, flags, nullptr);
    auto connection =
        std::make_shared<DBStore::StoreConnection>(handle, TarnPaths::kConfigStoreDb, readOnly);
    if (rc != SQLITE_OK) {
        connection->Fail("cannot open the database");
    }
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    return connection;
}

std::shared_ptr<DBStore::StoreConnection> OpenConnection(bool create) {
    // A connection stays on the thread that opened it (see GetDBStore), so SQLite need not
    // lock it around every call.
    if (StoreFolderReadOnly()) {
        // Write-ahead logging needs to create its files beside the database; in a read-only
        // folder nothing can change the file, so it is read as immutable.
        auto connection =
            Open(SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI,
                 std::string("file:") + TarnPaths::kConfigStoreDb + "?immutable=1", true);
        CheckStoreSchema(*connection);
        return connection;
    }
    SecureStoreFiles(create);
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    auto connection = Open(flags, TarnPaths::kConfigStoreDb, false);
    connection->Execute("PRAGMA foreign_keys = ON");
    EnsureStoreSchema(*connection);
    return connection;
}

// The thread's connection. `live` is the handle its callers hold now; `kept` keeps the last
// read-write connection open between calls, so that every call does not open the database again
// and SQLite does not read its schema again. A kept connection is used again only while the file
// at the store's path is still the one it opened (its open descriptor keeps that inode from
// being reused), the folder is still writable and no transaction is left open on it. The
// process id guards against a forked child using its parent's connection, which SQLite forbids.
struct ThreadConnection {
    pid_t pid = 0;
    std::weak_ptr<DBStore::StoreConnection> live;
    std::shared_ptr<DBStore::StoreConnection> kept;
    FileIdentity file;

    ~ThreadConnection() { ForgetInherited(); }

    // A forked child must neither use nor close its parent's connection (closing would
    // checkpoint the parent's journal): it is set aside, still reachable, for the process's
    // life.
    void ForgetInherited() {
        if (kept && pid != getpid()) {
            static auto* inherited = new std::vector<std::shared_ptr<DBStore::StoreConnection>>;
            inherited->push_back(std::move(kept));
        }
        kept.reset();
        live.reset();
    }
};
thread_local ThreadConnection tConnection;

// Whether the kept connection, which nobody holds now, can serve the next call.
bool KeptStillServes(const ThreadConnection& thread) {
    FileIdentity file;
    return sqlite3_get_autocommit(thread.kept->GetHandle()) &&
           IdentifyFile(TarnPaths::kConfigStoreDb, file) && file == thread.file &&
           !StoreFolderReadOnly();
}

// Copies what this thread's calls committed from the write-ahead log into the database file, as
// far as other processes' readers allow: a reader that opens the file as immutable (a read-only
// folder) sees the database file alone. Closing the last connection does this too, but a kept
// one is not closed.
void CopyLogIntoDatabase(DBStore::StoreConnection& connection) {
    sqlite3* handle = connection.GetHandle();
    if (sqlite3_get_autocommit(handle)) {
        sqlite3_wal_checkpoint_v2(handle, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
}

// The kept connection for the thread's callers; when the last of them lets go, the log is
// copied into the database and the connection stays kept.
std::shared_ptr<DBStore::StoreConnection> HandOut(std::shared_ptr<DBStore::StoreConnection> kept) {
    DBStore::StoreConnection* connection = kept.get();
    return std::shared_ptr<DBStore::StoreConnection>(
        connection, [kept = std::move(kept), owner = getpid()](DBStore::StoreConnection* released) {
            if (getpid() == owner) {  // not in a forked child
                CopyLogIntoDatabase(*released);
            }
        });
}

}  // namespace

std::shared_ptr<DBStore::StoreConnection> GetDBStore(DBStore::Type type, bool create) {
    if (type != DBStore::CONFIG_STORE) {
        std::string message = "Configuration store: unknown database type " + std::to_string(type);
        throw ConfigStoreException(kStoreAccessError, message.c_str());
    }
    pid_t pid = getpid();
    if (tConnection.pid != pid) {
        tConnection.ForgetInherited();
        tConnection.pid = pid;
    }
    if (auto live = tConnection.live.lock()) {
        return live;
    }
    if (tConnection.kept && !KeptStillServes(tConnection)) {
        tConnection.kept.reset();  // closed before another is opened at its path
    }
    if (!tConnection.kept) {
        auto connection = OpenConnection(create);
        if (connection->IsReadOnly() ||
            !IdentifyFile(TarnPaths::kConfigStoreDb, tConnection.file)) {
            tConnection.live = connection;
            return connection;
        }
        tConnection.kept = std::move(connection);
    }
    std::shared_ptr<DBStore::StoreConnection> handed = HandOut(tConnection.kept);
    tConnection.live = handed;
    return handed;
}

}  // namespace TarnConfigStore
