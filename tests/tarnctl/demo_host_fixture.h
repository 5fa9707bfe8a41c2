// The demo host of examples/demo-host, laid out by its own script (the one scripts/demo.sh
// runs) in a freshly reset root, and its documents. Test-only; one thread.
#pragma once

#include <string>

#include "host_root_fixture.h"

namespace TarnTest {

// The path of a document of examples/demo-host/documents ("desired.json", ...).
std::string DemoDocument(const std::string& name);

class DemoHostTest : public HostRootTest {
protected:
    void SetUp() override;

    // Applies a document with tarnctl (entering maintenance mode for it when asked) and
    // expects it applied.
    static void Apply(const std::string& document, bool inMaintenanceMode = false);
};

}  // namespace TarnTest
