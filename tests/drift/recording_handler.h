// A DriftHandler that records every callback as one line of text, and the host layout the
// drift suites share: three keys (single-instance, keyed instances, content-identified).
#pragma once

#include <string>
#include <vector>

#include "deradidezivizoda/drift/drift_handler.h"
#include "host_root_fixture.h"

namespace TarnTest {

class RecordingHandler : public TarnConfigManager::DriftHandler {
public:
    // Lines: "Add <path> <id> <desired>", "Set <path> <id> <desired> <host> <marker>",
    // "Delete <path> <id> <host>", "Prop <ACTION> <path> <desired> <host>".
    std::vector<std::string> lines;

    void Add(const Value& desired, const ObjectId& id, const Schema& schema,
             const std::string& path) override;
    void Set(const Value& desired, const Value& host, const ObjectId& id, const Schema& schema,
             const std::string& path, const Value& driftObject) override;
    void Delete(const Value& host, const ObjectId& id, const Schema& schema,
                const std::string& path) override;
    void PropertyDrift(const Value& desired, const Value& host, const Value& definition,
                       const std::string& path, TarnConfigManager::ACTION action) override;
};

// Installs the schemas of host/time/ntp (single instance), host/accounts/users (keyed by
// "name") and host/dns/servers (identified by content).
void InstallDriftSchemas();

// Runs the engine on desired against host (texts); returns the recorded lines.
std::vector<std::string> Drift(const std::string& desired, const std::string& host,
                               RecordingHandler& handler);

class DriftTest : public HostRootTest {
protected:
    void SetUp() override {
        HostRootTest::SetUp();
        InstallDriftSchemas();
    }
};

}  // namespace TarnTest
