// Many tarnctl processes on one host root at once: the host lock lets one plugin run at a time
// use the fixed request and result files, so every command gives exactly what it gives alone
// and no run file is left. A waiting tarnctl says once whom it waits for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "deradidezivizoda/plugins/host_lock.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "schema_files.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

constexpr int kProcesses = 4;
constexpr int kRounds = 25;
constexpr unsigned kDeadlineSeconds = 180;

class Concurrency : public TarnctlTest {
protected:
    void SetUp() override {
        TarnctlTest::SetUp();
        // The native probe plugin (it starts fastest) extracts, judges (maintenance mode),
        // applies and validates; the host is in maintenance mode, so its apply goes through,
        // again and again, since the extracted object never becomes what the documents ask for.
        InstallManifestSchemas();
        InstallPluginRunners();
        InstallTestPlugin("cpp", "ok");
        // The key's schema also names what the plugin extracts, so the host's object compares.
        InstallKeySchema(kTestPluginComponent, kTestPluginGroup, kTestPluginKey,
                         R"({"type": "object", "properties": {"on": {"type": "boolean"},
                             "plugin": {"type": "string"}, "task": {"type": "string"},
                             "context": {"type": "string"}, "root": {"type": "string"}}})",
                         "");
        WriteFile(TarnPaths::kMaintenanceModeFile, "1");
        // A process stuck on the lock would hang the test: the alarm ends it instead.
        alarm(kDeadlineSeconds);
    }
    void TearDown() override {
        alarm(0);
        TarnctlTest::TearDown();
    }

    // Each process's document: the host's resolver, and the probe key, on for even and off
    // for odd processes, which the reports echo.
    static std::string WorkerDocument(int worker) {
        std::string path = RootPath("var/worker" + std::to_string(worker) + ".json");
        WriteFile(path, R"({"net": {"dns": {"resolver": {"servers": ["10.0.0.1"]}}},)"
                        R"( "testing": {"plugins": {"probe": {"on": )" +
                            std::string(worker % 2 == 0 ? "true" : "false") + "}}}}");
        return path;
    }

    static std::vector<std::string> Command(int operation, const std::string& document) {
        static const std::array<std::vector<std::string>, 4> kCommands{{
            {"compliance"},
            // The probe's validation finds fault with every document; skipping it lets impact and
            // apply reach their plugins.
            {"impact", "--no-validate"},
            {"apply", "--yes", "--no-validate"},
            {"validate"},
        }};
        std::vector<std::string> args{"--json", "--quiet"};
        args.insert(args.end(), kCommands[operation].begin(), kCommands[operation].end());
        args.push_back(document);
        return args;
    }

    // An apply's report says how long it took, the one thing that differs between runs.
    static std::string WithoutTime(const std::string& out) {
        static const std::regex kSeconds(R"("seconds":[0-9.eE+-]+)");
        return std::regex_replace(out, kSeconds, R"("seconds":0)");
    }

    static void ExpectNoRunFiles() {
        EXPECT_FALSE(PathExists(TarnPaths::kPluginInputFile));
        EXPECT_FALSE(PathExists(TarnPaths::kPluginOutputFile));
    }
};

TEST_F(Concurrency, EveryCommandGivesWhatItGivesAlone) {
    std::vector<std::string> documents;
    // alone[worker][operation]
    std::vector<std::array<TarnctlResult, 4>> alone(kProcesses);
    for (int worker = 0; worker < kProcesses; ++worker) {
        documents.push_back(WorkerDocument(worker));
        for (int operation = 0; operation < 4; ++operation) {
            alone[worker][operation] = RunTarnctl(Command(operation, documents[worker]));
        }
    }
    // What alone gives is itself worth checking: compliance and impact see drift, apply
    // succeeds, validation reports the probe plugin's finding.
    ASSERT_EQ(alone[0][0].exitCode, 2) << alone[0][0].out << alone[0][0].err;
    ASSERT_EQ(alone[0][1].exitCode, 2) << alone[0][1].out << alone[0][1].err;
    ASSERT_EQ(alone[0][2].exitCode, 0) << alone[0][2].out << alone[0][2].err;
    ASSERT_EQ(alone[0][3].exitCode, 2) << alone[0][3].out << alone[0][3].err;
    EXPECT_NE(alone[0][0].out, alone[1][0].out) << "the documents differ";
    ExpectNoRunFiles();

    // Each round starts every process at once, each on another operation than its neighbours.
    int mismatches = 0;
    for (int round = 0; round < kRounds && mismatches < 3; ++round) {
        std::vector<std::unique_ptr<TarnctlProcess>> running;
        for (int worker = 0; worker < kProcesses; ++worker) {
            running.push_back(
                std::make_unique<TarnctlProcess>(Command((worker + round) % 4, documents[worker])));
        }
        for (int worker = 0; worker < kProcesses; ++worker) {
            TarnctlResult run = running[worker]->Wait();
            const TarnctlResult& expected = alone[worker][(worker + round) % 4];
            bool same = run.exitCode == expected.exitCode &&
                        WithoutTime(run.out) == WithoutTime(expected.out) &&
                        run.err == expected.err;
            EXPECT_TRUE(same) << "round " << round << ", process " << worker << ": exit "
                              << run.exitCode << "\n"
                              << run.out << run.err << "\nalone: exit " << expected.exitCode << "\n"
                              << expected.out << expected.err;
            mismatches += same ? 0 : 1;
        }
        ExpectNoRunFiles();
    }
}

// While the lock is held (here by the test itself), tarnctl waits and says so once, naming the
// holder; --quiet keeps it silent. Both go on once the lock is free.
TEST_F(Concurrency, AWaitingCommandSaysWhomItWaitsFor) {
    const std::string document = DocumentFile(kProbeDocument);
    const std::string waiting = "Waiting for another configuration operation (process " +
                                std::to_string(getpid()) + ") to finish...\n";
    auto lock = std::make_unique<TarnConfigManager::HostLock>();
    TarnctlProcess loud({"--json", "compliance", document});
    ASSERT_TRUE(AwaitText(loud.ErrPath(), waiting)) << ReadFile(loud.ErrPath());
    lock.reset();
    TarnctlResult loudRun = loud.Wait();
    // Once, before anything else the command says.
    EXPECT_EQ(loudRun.err.rfind(waiting), 0u) << loudRun.err;

    lock = std::make_unique<TarnConfigManager::HostLock>();
    TarnctlProcess quiet({"--json", "--quiet", "compliance", document});
    // A blocked flock shows in /proc/locks, marked "->", with the waiter's id.
    ASSERT_TRUE(
        AwaitText("/proc/locks", "-> FLOCK  ADVISORY  WRITE " + std::to_string(quiet.Pid()) + " "))
        << "the quiet tarnctl never waited";
    lock.reset();
    TarnctlResult quietRun = quiet.Wait();
    EXPECT_EQ(quietRun.err, "");
    EXPECT_EQ(quietRun.exitCode, loudRun.exitCode);
    EXPECT_EQ(quietRun.out, loudRun.out);
    EXPECT_EQ(RunTarnctl({"--json", "compliance", document}).out, loudRun.out);
}

// A lock path that is no regular file stops every command before any plugin runs.
TEST_F(Concurrency, ALinkAtTheLockPathIsRefused) {
    const std::string target = RootPath("var/elsewhere");
    ASSERT_EQ(symlink(target.c_str(), TarnPaths::kHostLockFile), 0);
    TarnctlResult run = RunTarnctl({"compliance", DocumentFile(kProbeDocument)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(std::string("The host lock ") + TarnPaths::kHostLockFile +
                           " is not a regular file"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(PathExists(target));
    ExpectNoRunFiles();
}

}  // namespace
}  // namespace TarnTest
