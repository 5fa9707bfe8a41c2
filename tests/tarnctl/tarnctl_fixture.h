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

// Writes text as a document file in the build tree and returns its path.
std::string DocumentFile(const std::string& text);
// Waits until path exists (a plugin's request file, say); false when it did not within a
// minute.
bool AwaitFile(const std::string& path);
// Waits until the file at path holds text; false when it did not within a minute.
bool AwaitText(const std::string& path, const std::string& text);

// The outcome of `apply --json` output, its "result", "impact" and "status", as compact JSON;
// the summary's counts and time are left out.
std::string ApplyOutcome(const std::string& out);

class TarnctlTest : public HostRootTest {
protected:
    void SetUp() override;
    void TearDown() override { connection_.reset(); }

    // A document setting the resolver's servers to the JSON array text servers.
    static std::string ResolverDocument(const std::string& servers);
    // Installs the Python test plugin of behaviour (tests/plugins/test_plugins) with the
    // schema of the key it serves, testing/plugins/probe.
    static void InstallProbePlugin(const std::string& behaviour);

    std::shared_ptr<DBStore::StoreConnection> connection_;
};

}  // namespace TarnTest
