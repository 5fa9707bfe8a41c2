// A store whose folder cannot be written (a read-only file system here): the commands that
// only read work, and a command that must write says why it cannot.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>

#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

class ReadOnlyStore : public TarnctlTest {
protected:
    void SetUp() override {
        TarnctlTest::SetUp();
        connection_.reset();  // the store is closed cleanly: no journal files stay beside it
        folder_ = std::filesystem::path(TarnPaths::kConfigStoreDb).parent_path().string();
        // The mount lives in a mount namespace of this test process alone.
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            GTEST_SKIP() << "no mount namespace can be made here";
        }
        mounted_ = true;
        ASSERT_EQ(
            0, mount(nullptr, folder_.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr));
    }
    void TearDown() override {
        if (mounted_) {
            umount2(folder_.c_str(), MNT_DETACH);
        }
        TarnctlTest::TearDown();
    }

    std::string folder_;
    bool mounted_ = false;
};

TEST_F(ReadOnlyStore, ReadingCommandsWorkAndWritingOnesSayWhy) {
    // DocumentFile writes one file: each document is written just before its command.
    const std::string same = ResolverDocument(R"(["10.0.0.1"])");
    const std::string other = ResolverDocument(R"(["10.0.0.2"])");
    TarnctlResult run = RunTarnctl({"compliance", DocumentFile(same)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    run = RunTarnctl({"compliance", DocumentFile(other)});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    run = RunTarnctl({"validate", DocumentFile(other)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const char* what : {"current", "desired"}) {
        run = RunTarnctl({"extract", what});
        EXPECT_EQ(run.exitCode, 0) << what << ": " << run.err;
    }
    run = RunTarnctl({"apply", "--yes", DocumentFile(other)});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("read-only"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace TarnTest
