// The database file itself: creation, durability across processes, transactions that die
// before they commit, the refusals (missing folder, locked, corrupt, foreign, newer), the
// files' mode and reading from a read-only folder.
#include <sched.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "deadline.h"
#include "expect_store_error.h"
#include "host_root_fixture.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/paths.h"

namespace {

using namespace TarnConfigStore;

std::shared_ptr<DBStore::StoreConnection> Connect() {
    return GetDBStore(DBStore::CONFIG_STORE, true);
}

// Runs body in a forked child that then ends as told: exit normally, _exit without any
// cleanup, or die by SIGKILL. Returns the wait status.
enum class Death { kExit, kQuickExit, kKill };
int InChild(const std::function<void()>& body, Death death) {
    pid_t pid = fork();
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            _exit(3);
        }
        if (death == Death::kKill) {
            raise(SIGKILL);
        }
        death == Death::kExit ? exit(0) : _exit(0);
    }
    int status = 0;
    TarnTest::Deadline deadline("a child writing the store");
    waitpid(pid, &status, 0);
    return status;
}

// Expects a 1001 refusal that names the database file and the reason.
void ExpectRefusal(const std::function<void()>& body, const std::string& reason) {
    ExpectStoreError(kStoreAccessError, body, {TarnPaths::kConfigStoreDb, reason});
}

class StoreDatabaseTest : public TarnTest::HostRootTest {};

TEST_F(StoreDatabaseTest, WritesOfOneProcessAreSeenByTheNext) {
    auto parent = Connect();  // a live connection in the parent must not leak into the child
    int status = InChild(
        [] {
            auto connection = Connect();
            PutCurrentRow(connection, "tarn", "net", "dns", "", R"({"servers":["10.0.0.1"]})");
            SetBootMode(HOSTAPI_PENDING);
            ConfigStoreTransaction transaction(connection);
            AddBootTimeRestoreFailure("tarn", "net", "dns");
            transaction.Commit();
        },
        Death::kQuickExit);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ConfigRowList rows = GetUserConfigContents(parent);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(R"({"servers":["10.0.0.1"]})", rows[0]->at("Value"));
    EXPECT_EQ(HOSTAPI_PENDING, GetBootMode());
    EXPECT_EQ(1u, GetBootTimeRestoreFailures().size());
}

TEST_F(StoreDatabaseTest, AProcessThatDiesBeforeCommitLeavesNothing) {
    for (Death death : {Death::kExit, Death::kQuickExit, Death::kKill}) {
        InChild(
            [] {
                auto store = ConfigStore::GetStore(sGlobalNamespace);
                ConfigStoreTransaction transaction(store);
                PutCurrentRow(store->GetConnection(), "tarn", "net", "dns", "", "{}");
                SetDesiredUserConfig(
                    ConfigStoreDocument::CreateDocument(R"({"c":{"g":{"k":{}}}})"));
                store->WriteObject(std::make_shared<ConfigStoreObject>(
                    ConfigStoreObjectId("fleetboot", "bootstrap", "tarn")));
            },
            death);
        auto store = ConfigStore::GetStore(sGlobalNamespace);
        ASSERT_TRUE(store);
        EXPECT_TRUE(GetUserConfigContents(store->GetConnection()).empty());
        EXPECT_TRUE(GetDesiredUserConfigContents(store->GetConnection()).empty());
        EXPECT_EQ(NORMAL, GetBootMode());
        EXPECT_FALSE(store->GetObject({"fleetboot", "bootstrap", "tarn"}));
    }
}

TEST_F(StoreDatabaseTest, TransactionsRollBackUnlessCommittedAndNest) {
    auto connection = Connect();
    {
        ConfigStoreTransaction uncommitted(connection);
        PutCurrentRow(connection, "c", "g", "lost", "", "{}");
    }
    {
        ConfigStoreTransaction outer(connection);
        PutCurrentRow(connection, "c", "g", "kept", "", "{}");
        {
            ConfigStoreTransaction inner(connection);
            PutCurrentRow(connection, "c", "g", "inner", "", "{}");
        }
        outer.Commit();
        EXPECT_THROW(outer.Commit(), ConfigStoreException);
    }
    ConfigRowList rows = GetUserConfigContents(connection);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("kept", rows[0]->at("Name"));
}

// The thread's connection stays open between calls and sees what other processes commit, but
// never outlives the file it opened.
TEST_F(StoreDatabaseTest, AConnectionIsKeptBetweenCallsOnlyWhileItsFileIsTheStore) {
    PutCurrentRow(Connect(), "c", "g", "mine", "", "{}");

    int status =
        InChild([] { PutCurrentRow(Connect(), "c", "g", "theirs", "", "{}"); }, Death::kQuickExit);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(2u, GetUserConfigContents(Connect()).size());

    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(TarnPaths::kConfigStoreDb + std::string(suffix));
    }
    ExpectRefusal([] { GetDBStore(DBStore::CONFIG_STORE, false); }, "unable to open");
    EXPECT_TRUE(GetUserConfigContents(Connect()).empty());
}

// "identifier=value" of every current row, visited in order.
std::vector<std::string> VisitedRows(const std::shared_ptr<DBStore::StoreConnection>& connection) {
    std::vector<std::string> rows;
    VisitStoreRows(connection, RowTable::kCurrent, [&rows](const StoreRowView& row) {
        rows.push_back(std::string(row.identifier) + "=" + std::string(row.value));
    });
    return rows;
}

// A kept connection read the whole file at an earlier call; another process then rewrites the
// rows and compacts the file to a fraction of its size.
TEST_F(StoreDatabaseTest, AKeptConnectionShowsWhatAnotherProcessRewroteAndShrank) {
    auto parent = Connect();
    const std::string padding(2000, 'x');
    for (int i = 0; i < 500; ++i) {
        PutCurrentRow(parent, "c", "g", "k", std::to_string(i), R"({"p":")" + padding + R"("})");
    }
    parent->Execute("PRAGMA wal_checkpoint(TRUNCATE)");  // the rows are in the file itself
    ASSERT_EQ(500u, VisitedRows(parent).size());
    const auto before = std::filesystem::file_size(TarnPaths::kConfigStoreDb);

    int status = InChild(
        [] {
            auto connection = Connect();
            for (int i = 0; i < 500; ++i) {
                DeleteRows(connection, RowTable::kCurrent, {"k", "g", "c", std::to_string(i)});
            }
            PutCurrentRow(connection, "c", "g", "k", "new", R"({"v":2})");
            connection->Execute("VACUUM");
            connection->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
        },
        Death::kQuickExit);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_LT(std::filesystem::file_size(TarnPaths::kConfigStoreDb), before / 2);
    EXPECT_EQ(std::vector<std::string>{R"(new={"v":2})"}, VisitedRows(parent));
    // And it grows again under the parent's own writes.
    for (int i = 0; i < 500; ++i) {
        PutCurrentRow(parent, "c", "g", "k", std::to_string(i), R"({"p":")" + padding + R"("})");
    }
    EXPECT_EQ(501u, VisitedRows(parent).size());
}

TEST_F(StoreDatabaseTest, AMissingFolderIsReportedAndNotCreated) {
    std::filesystem::path folder = std::filesystem::path(TarnPaths::kConfigStoreDb).parent_path();
    std::filesystem::remove_all(folder);
    ExpectRefusal([] { Connect(); }, "unable to open database file");
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_FALSE(ConfigStore::GetStore(sGlobalNamespace));
}

TEST_F(StoreDatabaseTest, AStoreIsOnlyCreatedWhenAskedTo) {
    ExpectRefusal([] { GetDBStore(DBStore::CONFIG_STORE, false); }, "unable to open");
    EXPECT_FALSE(TarnTest::PathExists(TarnPaths::kConfigStoreDb));
    Connect();
    EXPECT_TRUE(TarnTest::PathExists(TarnPaths::kConfigStoreDb));
}

int64_t PageSize(sqlite3* handle) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(handle, "PRAGMA page_size", -1, &statement, nullptr);
    int64_t size = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
    sqlite3_finalize(statement);
    return size;
}

// Stores made before new stores took larger pages have SQLite's 4 KiB pages: they must open,
// read and write as they did, and keep their page size.
TEST_F(StoreDatabaseTest, AStoreWithSmallerPagesReadsAndWritesAsBefore) {
    int status = InChild(
        [] {
            auto connection = Connect();
            EXPECT_EQ(16384, PageSize(connection->GetHandle())) << "a new store's page size";
            std::string value = R"({"text":")" + std::string(5000, 'v') + R"("})";
            for (int i = 0; i < 50; ++i) {
                PutCurrentRow(connection, "tarn", "net", "dns", "i" + std::to_string(i), value);
            }
            if (::testing::Test::HasFailure()) {
                _exit(4);
            }
        },
        Death::kExit);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    sqlite3* old = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(TarnPaths::kConfigStoreDb, &old));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(old,
                                      "PRAGMA journal_mode = DELETE; PRAGMA page_size = 4096; "
                                      "VACUUM; PRAGMA journal_mode = WAL",
                                      nullptr, nullptr, nullptr));
    ASSERT_EQ(4096, PageSize(old));
    sqlite3_close(old);

    auto connection = Connect();
    std::vector<StoreRow> rows = ReadStoreRows(connection, RowTable::kCurrent);
    ASSERT_EQ(50u, rows.size());
    EXPECT_EQ("i49", rows[49].identifier);
    EXPECT_EQ(5011u, rows[49].value.size());
    PutCurrentRow(connection, "tarn", "net", "dns", "i50", R"({"text":"w"})");
    EXPECT_EQ(R"({"text":"w"})", ReadStoreRows(connection, RowTable::kCurrent)[50].value);
    EXPECT_EQ(4096, PageSize(connection->GetHandle()));
}

TEST_F(StoreDatabaseTest, CorruptForeignAndNewerFilesAreRefusedAndLeftAsTheyWere) {
    std::string garbage(4096, 'x');
    TarnTest::WriteFile(TarnPaths::kConfigStoreDb, garbage);
    ExpectRefusal([] { Connect(); }, "file is not a database");
    EXPECT_TRUE(garbage == TarnTest::ReadFile(TarnPaths::kConfigStoreDb));

    for (const char* sql : {"CREATE TABLE accounts (name TEXT)", "PRAGMA user_version = 9"}) {
        std::filesystem::remove(TarnPaths::kConfigStoreDb);
        sqlite3* other = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(TarnPaths::kConfigStoreDb, &other));
        ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, sql, nullptr, nullptr, nullptr));
        sqlite3_close(other);
        std::string before = TarnTest::ReadFile(TarnPaths::kConfigStoreDb);
        ExpectRefusal([] { Connect(); }, sql[0] == 'C' ? "not a configuration store" : "version 9");
        EXPECT_TRUE(before == TarnTest::ReadFile(TarnPaths::kConfigStoreDb)) << sql;
    }
}

TEST_F(StoreDatabaseTest, ALockedStoreIsReportedAndItsContentKept) {
    // Written by a thread that ends, so this one holds no connection (and no lock) at the fork.
    std::thread([] { PutCurrentRow(Connect(), "c", "g", "k", "", R"({"v":1})"); }).join();
    int ready[2];
    int release[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(release));
    pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        close(release[1]);
        // Another program holds the file exclusively, halfway through a write.
        sqlite3* other = nullptr;
        sqlite3_open(TarnPaths::kConfigStoreDb, &other);
        sqlite3_exec(other,
                     "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;"
                     "UPDATE current_config SET value = '{\"v\":2}'",
                     nullptr, nullptr, nullptr);
        char byte = 1;
        (void)!write(ready[1], &byte, 1);
        (void)!read(release[0], &byte, 1);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    TarnTest::Deadline deadline("the child holding the store's write lock");
    char byte = 0;
    ASSERT_EQ(1, read(ready[0], &byte, 1));
    close(ready[0]);
    ExpectRefusal([] { Connect(); }, "database is locked");
    close(release[1]);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(R"({"v":1})", GetUserConfigContents(Connect())[0]->at("Value"));
}

}  // namespace

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(0, stat(path.c_str(), &status)) << path;
    return status.st_mode & 07777;
}

std::string StoreFolder() {
    return std::filesystem::path(TarnPaths::kConfigStoreDb).parent_path().string();
}

// Makes the store's folder read-only for the calling (child) process: a read-only bind mount
// in a mount namespace of its own for root, whom folder modes do not stop; a folder mode for
// anyone else.
void MakeStoreFolderReadOnly() {
    if (geteuid() != 0) {
        ASSERT_EQ(0, chmod(StoreFolder().c_str(), 0555));
        return;
    }
    const std::string folder = StoreFolder();
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        _exit(77);  // no mount namespace here: the caller skips
    }
}

}  // namespace

TEST_F(StoreDatabaseTest, TheDatabaseAndItsJournalsAreForTheOwnerAlone) {
    umask(022);
    auto held = Connect();  // keeps the journal files while the test looks at them
    PutCurrentRow(held, "tarn", "accounts", "users", "", R"({"hash":"x"})");
    const char* const kSuffixes[] = {"", "-wal", "-shm"};
    for (const char* suffix : kSuffixes) {
        EXPECT_EQ(0600u, ModeOf(TarnPaths::kConfigStoreDb + std::string(suffix))) << suffix;
    }
    // Files left readable by an older version are tightened by the next process that opens them.
    for (const char* suffix : kSuffixes) {
        chmod((TarnPaths::kConfigStoreDb + std::string(suffix)).c_str(), 0644);
    }
    int status = InChild([] { Connect(); }, Death::kQuickExit);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (const char* suffix : kSuffixes) {
        EXPECT_EQ(0600u, ModeOf(TarnPaths::kConfigStoreDb + std::string(suffix))) << suffix;
    }
}

TEST_F(StoreDatabaseTest, AStoreInAReadOnlyFolderIsReadAndWritesSayWhyTheyFail) {
    PutCurrentRow(Connect(), "tarn", "net", "dns", "", R"({"v":1})");
    int status = InChild(
        [] {
            MakeStoreFolderReadOnly();
            ConfigRowList rows = GetUserConfigContents(Connect());
            if (rows.size() != 1 || rows[0]->at("Value") != R"({"v":1})") {
                _exit(4);
            }
            try {
                PutCurrentRow(Connect(), "tarn", "net", "dns", "", R"({"v":2})");
            } catch (const ConfigStoreException& error) {
                bool named = std::string(error.what()).find("read-only") != std::string::npos;
                _exit(named && error.GetCode() == kStoreAccessError ? 0 : 5);
            }
            _exit(6);
        },
        Death::kQuickExit);
    chmod(StoreFolder().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "no mount namespace can be made here";
    }
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ(R"({"v":1})", GetUserConfigContents(Connect())[0]->at("Value"));
}
