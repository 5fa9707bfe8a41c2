// Failed system calls and SQLite steps, injected at every call of a store transaction and of
// an atomic file write: each is reported with its reason, and leaves the store as it was
// (and sound) or the file whole, with no temporary file behind.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "expect_store_error.h"
#include "failed_steps.h"
#include "host_root_fixture.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace {

using namespace TarnConfigStore;
using TarnTest::FaultStep;

const ConfigStoreObjectId kKept("fleetboot", "bootstrap", "kept");
const ConfigStoreObjectId kAdded("fleetboot", "bootstrap", "added");

// The answer of PRAGMA integrity_check on its own connection: "ok" for a sound file.
std::string IntegrityCheck() {
    sqlite3* db = nullptr;
    std::string answer = "cannot open";
    if (sqlite3_open_v2(TarnPaths::kConfigStoreDb, &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr);
        answer = sqlite3_step(statement) == SQLITE_ROW
                     ? reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))
                     : sqlite3_errmsg(db);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return answer;
}

class FailedStoreStepTest : public TarnTest::HostRootTest {
protected:
    // A store holding one current row and one object, committed.
    void Reset() {
        store.reset();
        TarnTest::ResetHostRoot();
        store = ConfigStore::GetStore(sGlobalNamespace);
        ASSERT_TRUE(store);
        PutCurrentRow(store->GetConnection(), "tarn", "net", "dns", "", R"({"servers":["a"]})");
        store->WriteObject(std::make_shared<ConfigStoreObject>(kKept));
    }

    // One transaction touching every table kind: rows, desired rows, objects added and removed.
    void Transaction() {
        ConfigStoreTransaction transaction(store);
        PutCurrentRow(store->GetConnection(), "tarn", "net", "dns", "", R"({"servers":["b"]})");
        PutCurrentRow(store->GetConnection(), "tarn", "net", "ntp", "", "{}");
        SetDesiredUserConfig(ConfigStoreDocument::CreateDocument(R"({"c":{"g":{"k":{}}}})"));
        store->WriteObject(std::make_shared<ConfigStoreObject>(kAdded));
        store->RemoveObject(kKept);
        transaction.Commit();
    }

    // After a failed transaction: the committed state alone, in a sound file.
    void ExpectUnchanged() {
        store.reset();
        auto fresh = ConfigStore::GetStore(sGlobalNamespace);
        ASSERT_TRUE(fresh);
        ConfigRowList rows = GetUserConfigContents(fresh->GetConnection());
        ASSERT_EQ(1u, rows.size());
        EXPECT_EQ(R"({"servers":["a"]})", rows[0]->at("Value"));
        EXPECT_TRUE(GetDesiredUserConfigContents(fresh->GetConnection()).empty());
        EXPECT_TRUE(fresh->GetObject(kKept));
        EXPECT_FALSE(fresh->GetObject(kAdded));
        fresh.reset();
        EXPECT_EQ("ok", IntegrityCheck());
    }

    std::shared_ptr<ConfigStore> store;
};

TEST_F(FailedStoreStepTest, EveryFailingSqliteStepRollsTheWholeTransactionBack) {
    for (int code : {SQLITE_IOERR, SQLITE_FULL, SQLITE_BUSY}) {
        SCOPED_TRACE(sqlite3_errstr(code));
        bool failed = false;
        unsigned steps = TarnTest::ForEachFailedStep(
            FaultStep::kSqlite, code, [this] { Reset(); },
            [this, code, &failed] {
                failed = false;
                try {
                    Transaction();
                } catch (const ConfigStoreException& error) {
                    failed = true;
                    EXPECT_EQ(kStoreAccessError, error.GetCode());
                    EXPECT_NE(nullptr, std::strstr(error.what(), TarnPaths::kConfigStoreDb));
                    EXPECT_NE(nullptr, std::strstr(error.what(), sqlite3_errstr(code)))
                        << error.what();
                }
            },
            [this, &failed](unsigned) {
                EXPECT_TRUE(failed);
                ExpectUnchanged();
            });
        EXPECT_GE(steps, 7u);  // BEGIN, five writes, COMMIT at least
    }
}

class FailedFileStepTest : public TarnTest::HostRootTest {
protected:
    const std::string folder = std::string(TarnPaths::kStateDir) + "atomic";
    const std::string path = folder + "/file.json";
    const std::string oldText = R"({"old":true})";
    const std::string newText = std::string(100000, 'n');
};

// Each failing open, write, fsync or rename of a synced write: false with the call's errno, no
// temporary file left, and the file whole: old, or new only when the rename had already
// happened (the folder's flush failed).
TEST_F(FailedFileStepTest, AtomicWriteFailsAtEveryStepLeavingAWholeFile) {
    for (FaultStep step :
         {FaultStep::kOpen, FaultStep::kWrite, FaultStep::kFsync, FaultStep::kRename}) {
        for (int error : {EIO, ENOSPC}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(step)) + " " + std::strerror(error));
            bool written = true;
            int savedErrno = 0;
            TarnTest::ForEachFailedStep(
                step, error,
                [this] {
                    std::filesystem::remove_all(folder);
                    TarnTest::WriteFile(path, oldText);
                },
                [&] {
                    written = WriteFileAtomically(path, newText, 0600, Durability::kSynced);
                    savedErrno = errno;
                },
                [&](unsigned) {
                    EXPECT_FALSE(written);
                    EXPECT_EQ(error, savedErrno);
                    EXPECT_EQ(std::vector<std::string>{"file.json"},
                              TarnTest::FolderEntries(folder));
                    std::string text = TarnTest::ReadFile(path);
                    EXPECT_TRUE(text == oldText || text == newText) << text.size();
                    if (step == FaultStep::kWrite || step == FaultStep::kRename) {
                        EXPECT_EQ(oldText, text);
                    }
                });
        }
    }
}

TEST_F(FailedFileStepTest, AFailedMoveLeavesTheFileWhereItWas) {
    std::string from = folder + "/moved.json";
    bool moved = true;
    TarnTest::ForEachFailedStep(
        FaultStep::kRename, EXDEV,
        [&] {
            std::filesystem::remove_all(folder);
            TarnTest::WriteFile(from, oldText);
        },
        [&] { moved = MoveFileDurably(from, path); },
        [&](unsigned) {
            EXPECT_FALSE(moved);
            EXPECT_EQ(errno, EXDEV);
            EXPECT_EQ(std::vector<std::string>{"moved.json"}, TarnTest::FolderEntries(folder));
            EXPECT_EQ(oldText, TarnTest::ReadFile(from));
        });
}

TEST_F(FailedFileStepTest, AFailedOpenOfAJsonFileNamesTheReason) {
    TarnTest::WriteFile(path, oldText);
    TarnConfigStore::FailStep(FaultStep::kOpen, EACCES);
    rapidjson::Document out;
    JsonParseError error;
    EXPECT_FALSE(ParseJsonFile(path.c_str(), out, &error));
    EXPECT_EQ("The file cannot be opened: Permission denied.", error.message);
    EXPECT_TRUE(ParseJsonFile(path.c_str(), out, &error));
}

}  // namespace
