// tarnctl impact and apply on the test host of the impact and apply suites, around what they
// check before they change anything: the validation that refuses a document before any plugin
// runs, the changes shown at the question, the refusal when maintenance mode is missing, and
// plans saved by impact --out and applied, refused when stale or altered, by apply --plan.
#include <gtest/gtest.h>

#include "apply_host.h"
#include "json_test_text.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

using PlanCommands = ApplyHostTest;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string DocumentWith(const std::vector<std::pair<std::string, std::string>>& changes) {
    return DocumentFile(Text(Desired(changes)));
}

std::string PlanPath() {
    return TARN_BINARY_DIR "/tests/tarnctl/plan.json";
}

bool AnyApplyRan() {
    for (const std::string& call : CallNames()) {
        if (Contains(call, "APPLY")) {
            return true;
        }
    }
    return false;
}

// A plan for the time zone Europe/Oslo, which costs nothing; the host is left as it was.
std::string SaveZonePlan() {
    std::string zone = DocumentWith({{"/host/time/zone/zone", R"("Europe/Oslo")"}});
    std::remove(PlanPath().c_str());
    TarnctlResult run = RunTarnctl({"impact", zone, "--out", PlanPath()});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_TRUE(PathExists(PlanPath()));
    return zone;
}

TEST_F(PlanCommands, InvalidDocumentIsRefusedBeforeAnyPlugin) {
    std::string invalid = DocumentWith({{"/host/storage/cache/size", R"("big")"}});
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"impact", invalid}, {"apply", "--yes", invalid}}) {
        TarnctlResult run = RunTarnctl(args);
        EXPECT_EQ(run.exitCode, 2) << args[0] << run.err;
        EXPECT_TRUE(Contains(run.out, "is invalid: 1 problem.")) << run.out;
        EXPECT_TRUE(Contains(run.out, "/host/storage/cache/size  validator.type-mismatch"))
            << run.out;
        EXPECT_TRUE(Contains(run.err, "the document is invalid (--no-validate skips this check)"))
            << run.err;
    }
    TarnctlResult run = RunTarnctl({"--json", "apply", "--yes", invalid});
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_STREQ(out["result"].GetString(), "invalid");
    EXPECT_STREQ(out["validation"]["errors"][0]["path"].GetString(), "/host/storage/cache/size");
    EXPECT_TRUE(CallNames().empty());
    EXPECT_TRUE(Complies(Json(kHostDocument)));

    // Without validation the impact plugin sees the document (and the host is still untouched).
    run = RunTarnctl({"impact", "--no-validate", invalid});
    EXPECT_EQ(CallNames(), std::vector<std::string>{"storetest:storage IMPACT"}) << run.err;
    EXPECT_TRUE(Complies(Json(kHostDocument)));
}

TEST_F(PlanCommands, TheQuestionShowsTheChangesAndTheSummaryFollows) {
    ASSERT_EQ(RunTarnctl({"host", "maintenance", "enter"}).exitCode, 0);
    std::string cache = DocumentWith({{"/host/storage/cache/size", "2"}});
    TarnctlResult run = RunTarnctl({"apply", cache}, "n\n");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::string question =
        "Changes (0 added, 1 changed, 0 deleted):\n"
        "set     /host/storage/cache/size\n"
        "        desired  2\n"
        "        host     1\n"
        "Applying " +
        cache +
        " needs maintenance mode, which the host is in: it changes the "
        "host now.\nApply " +
        cache + "? [y/N] ";
    EXPECT_TRUE(Contains(run.err, question)) << run.err;
    EXPECT_FALSE(AnyApplyRan());

    run = RunTarnctl({"apply", cache}, "y\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, question)) << run.err;
    EXPECT_TRUE(Contains(run.out, "Applied " + cache +
                                      " in maintenance mode.\n"
                                      "0 added, 1 changed, 0 deleted; 2 plugin runs; "))
        << run.out;
    EXPECT_TRUE(Complies(Desired({{"/host/storage/cache/size", "2"}})));
}

TEST_F(PlanCommands, MissingMaintenanceModeIsSaidBeforeAsking) {
    std::string cache = DocumentWith({{"/host/storage/cache/size", "2"}});
    for (bool yes : {false, true}) {
        std::vector<std::string> args = {"apply", cache};
        if (yes) {
            args.push_back("--yes");
        }
        TarnctlResult run = RunTarnctl(args, "y\n");
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_TRUE(
            Contains(run.err, "error 2026 (com.corvid.tarn.settings.apply.not-in-maint-mode)"))
            << run.err;
        EXPECT_FALSE(Contains(run.err, "[y/N]")) << run.err;
    }
    EXPECT_FALSE(AnyApplyRan());
    EXPECT_TRUE(Complies(Json(kHostDocument)));
}

TEST_F(PlanCommands, SavedPlanIsAppliedAsItWasMade) {
    ASSERT_EQ(RunTarnctl({"host", "maintenance", "enter"}).exitCode, 0);
    std::string cache = DocumentWith({{"/host/storage/cache/size", "2"}});
    TarnctlResult run = RunTarnctl({"impact", cache, "--out", PlanPath()});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(run.out, "Applying " + cache +
                           " needs maintenance mode.\n"
                           "Quick boot: unsupported.\n"
                           "Changes (0 added, 1 changed, 0 deleted):\n"
                           "set     /host/storage/cache/size\n"
                           "        desired  2\n"
                           "        host     1\n"
                           "Saved the plan to " +
                           PlanPath() + "; tarnctl apply --plan " + PlanPath() + " applies it.\n");
    rapidjson::Document plan = ParseJson(ReadFile(PlanPath()));
    EXPECT_STREQ(plan["impact"].GetString(), "maintenance-mode");
    EXPECT_EQ(JsonText(plan["document"]["host"]["storage"]), R"({"cache":{"size":2}})");
    EXPECT_EQ(CallNames(), std::vector<std::string>{"storetest:storage IMPACT"});

    // The document changes after the plan was made: the plan is what is applied.
    DocumentWith({{"/host/storage/cache/size", "3"}});
    run = RunTarnctl({"--json", "apply", "--plan", PlanPath()}, "yes\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "Apply " + PlanPath() + "? [y/N] ")) << run.err;
    rapidjson::Document out = ParseJson(run.out);
    EXPECT_STREQ(out["result"].GetString(), "applied-in-maintenance-mode");
    EXPECT_EQ(out["changed"].GetInt(), 1);
    EXPECT_EQ(out["pluginRuns"].GetInt(), 2);
    EXPECT_TRUE(Complies(Desired({{"/host/storage/cache/size", "2"}})));

    run = RunTarnctl({"apply", "--plan", PlanPath()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "The host already matches " + PlanPath() + ": nothing to apply.\n");
}

TEST_F(PlanCommands, StalePlanWhoseImpactGrewIsRefused) {
    std::string zone = SaveZonePlan();
    // The host's cache changes, so that the plan's document now needs maintenance mode too.
    PutCurrent(R"({"host": {"storage": {"cache": {"size": 5}}}})");
    TarnctlResult run = RunTarnctl({"apply", "--yes", "--plan", PlanPath()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Contains(run.err, "The host changed since " + PlanPath())) << run.err;
    EXPECT_TRUE(Contains(run.err,
                         "error 2025 (com.corvid.tarn.settings.impact.invalid): the host "
                         "changed since the plan " +
                             PlanPath() +
                             " was made and applying it now needs more than none; "
                             "nothing was applied"))
        << run.err;
    EXPECT_FALSE(AnyApplyRan());
    EXPECT_EQ(RunTarnctl({"compliance", zone}).exitCode, 2);
}

TEST_F(PlanCommands, AlteredOrBrokenPlanIsRefused) {
    SaveZonePlan();
    std::string saved = ReadFile(PlanPath());
    auto refuses = [](const std::string& text, const std::string& message) {
        WriteFile(PlanPath(), text);
        TarnctlResult run = RunTarnctl({"apply", "--yes", "--plan", PlanPath()});
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_TRUE(Contains(run.err, message)) << run.err;
    };
    auto replaced = [&saved](const std::string& from, const std::string& to) {
        std::string text = saved;
        size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::string altered = "the plan " + PlanPath() + " was altered after it was made";
    refuses(replaced("Europe/Oslo", "Europe/Rome"), altered + " (its integrity hash");
    refuses(replaced(R"("impact": "none")", R"("impact": "reboot")"), altered);
    refuses(replaced(R"("plan": 1)", R"("plan": 2)"),
            R"(is not a plan tarnctl can apply: "plan" is not 1)");
    refuses("", "is not a plan tarnctl can apply: no JSON");
    std::remove(PlanPath().c_str());
    TarnctlResult run = RunTarnctl({"--json", "apply", "--yes", "--plan", PlanPath()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(ParseJson(run.out)["error"]["message"].GetString(),
                         "cannot read the plan " + PlanPath()))
        << run.out;
    EXPECT_FALSE(AnyApplyRan());

    run = RunTarnctl({"impact", SaveZonePlan(), "--out", RootPath("no/such/folder/plan.json")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "cannot write the plan " + RootPath("no/such/folder/plan.json")))
        << run.err;
    EXPECT_FALSE(PathExists("no/such/folder"));

    // Unchanged, the same plan applies.
    WriteFile(PlanPath(), saved);
    run = RunTarnctl({"apply", "--yes", "--plan", PlanPath()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(Contains(run.err, "The host changed since")) << run.err;
    EXPECT_TRUE(AnyApplyRan());
}

}  // namespace
}  // namespace TarnTest
