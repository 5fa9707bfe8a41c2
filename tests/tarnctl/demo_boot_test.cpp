// The boot half of the demo host, as scripts/demo.sh shows it: the kernel option stored by
// apply reboot.json is applied by "boot run"; "bootstrap --early early.json" applies the
// early groups; "bootstrap bootstrap.json" keeps the deployment files across the reboot.
#include <gtest/gtest.h>

#include "demo_host_fixture.h"
#include "json_test_text.h"
#include "tarn/paths.h"
#include "tarnctl_fixture.h"

namespace TarnTest {
namespace {

const char kKernelDropIn[] = "etc/default/grub.d/50-tarn-kernel.cfg";

std::string Deployment(const std::string& name) {
    return ReadFile(TARN_SOURCE_DIR "/examples/demo-host/deployment/" + name);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(DemoHostTest, TheBootAppliesTheStoredKernelOption) {
    ASSERT_EQ(RunTarnctl({"apply", "--yes", DemoDocument("reboot.json")}).exitCode, 0);
    EXPECT_EQ(RunTarnctl({"boot", "status"}).out, "boot: not complete\n");
    TarnctlResult run = RunTarnctl({"boot", "run"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "boot: complete\n");
    EXPECT_TRUE(Contains(ReadFile(kKernelDropIn), "intel_iommu=on iommu=pt"))
        << ReadFile(kKernelDropIn);
    EXPECT_EQ(RunTarnctl({"compliance", DemoDocument("reboot.json")}).exitCode, 0);
    EXPECT_EQ(RunTarnctl({"--json", "boot", "status"}).out,
              R"({"status":0,"state":"complete","failures":[]})"
              "\n");
}

TEST_F(DemoHostTest, EarlyBootstrapThenANetworkBootBootstrap) {
    TarnctlResult run = RunTarnctl({"bootstrap", "--early", DemoDocument("early.json")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Early bootstrap configuration in place.\n");
    EXPECT_TRUE(Contains(ReadFile("etc/security/faillock.conf"), "deny = 5\nunlock_time = 900\n"));
    EXPECT_TRUE(
        Contains(ReadFile("etc/systemd/network/10-tarn-management.network"), "Name=eth0\n"));
    EXPECT_TRUE(Contains(ReadFile("etc/systemd/network/20-tarn-lsw.netdev"), "Id=120\n"));
    run = RunTarnctl({"--json", "bootstrap", "--early", DemoDocument("early.json")});
    EXPECT_EQ(run.exitCode, 0) << run.err;

    ASSERT_EQ(RunTarnctl({"apply", "--yes", DemoDocument("reboot.json")}).exitCode, 0);
    ASSERT_EQ(RunTarnctl({"boot", "run"}).exitCode, 0);
    WriteFile(TarnPaths::kWaiterNotifyFile, Deployment("waiterNotify.json"));
    WriteFile(TarnPaths::kFleetbootFirewallFile, Deployment("fleetboot.xml"));
    run = RunTarnctl({"bootstrap", DemoDocument("bootstrap.json")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "is stored with the deployment files")) << run.out;
    EXPECT_FALSE(PathExists(TarnPaths::kWaiterNotifyFile));
    EXPECT_FALSE(PathExists(TarnPaths::kFleetbootFirewallFile));

    run = RunTarnctl({"boot", "run"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(TarnPaths::kFleetbootFirewallFile), Deployment("fleetboot.xml"));
    EXPECT_EQ(JsonText(ParseJson(ReadFile(TarnPaths::kWaiterNotifyFile))),
              JsonText(ParseJson(Deployment("waiterNotify.json"))));
    EXPECT_TRUE(Contains(ReadFile(kKernelDropIn), "hugepages=512"));
    EXPECT_EQ(RunTarnctl({"compliance", DemoDocument("bootstrap.json")}).exitCode, 0);
}

}  // namespace
}  // namespace TarnTest
