#include "demo_host_fixture.h"

#include <cstdlib>

#include "tarnctl_process.h"

namespace TarnTest {

std::string DemoDocument(const std::string& name) {
    return TARN_SOURCE_DIR "/examples/demo-host/documents/" + name;
}

void DemoHostTest::SetUp() {
    HostRootTest::SetUp();
    ASSERT_EQ(std::system(TARN_BINARY_DIR "/examples/demo-host/lay-out.sh"), 0);
}

void DemoHostTest::Apply(const std::string& document, bool inMaintenanceMode) {
    if (inMaintenanceMode) {
        ASSERT_EQ(RunTarnctl({"host", "maintenance", "enter"}).exitCode, 0);
    }
    TarnctlResult run = RunTarnctl({"apply", "--yes", DemoDocument(document)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(RunTarnctl({"host", "maintenance", "exit"}).exitCode, 0);
}

}  // namespace TarnTest
