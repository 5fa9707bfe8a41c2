// The host every tarnctl test starts from: a clean root with one key schema,
// net/dns/resolver (an object with a list of "servers"), whose current value is
// {"servers": ["10.0.0.1"]}. Test-only; one thread.
#pragma once

#include <memory>
#include <string>

#include "host_root_fixture.h"
#include "tarn/configstore/db_store.h"
#include "tarnctl_process.h"

namespace TarnTest {

// A document holding the key of the test plugins.
extern const char kProbeDocument[];

class TarnctlTest : public HostRootTest {
protected:
    void SetUp() override;
    void TearDown() override { connection_.reset(); }

    // Writes text as a document file in the build tree and returns its path.
    static std::string DocumentFile(const std::string& text);
    // A document setting the resolver's servers to the JSON array text servers.
    static std::string ResolverDocument(const std::string& servers);
    // Installs the Python test plugin of behaviour (tests/plugins/test_plugins) with the
    // schema of the key it serves, testing/plugins/probe.
    static void InstallProbePlugin(const std::string& behaviour);

    // Waits until a plugin run has written its request; false when none came within a minute.
    static bool AwaitPluginRun();

    std::shared_ptr<DBStore::StoreConnection> connection_;
};

}  // namespace TarnTest
