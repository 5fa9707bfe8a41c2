// The host the user-configuration, export and telemetry suites share: keys of every kind
// (single-instance, keyed and content-identified multi-instance, mutable default, a secret,
// a telemetry-disabled key), allowlist helpers and an extract plugin. Test-only; one thread.
#pragma once

#include <string>

#include "extract_fixture.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "tarn/paths.h"

namespace TelemetryTest {

// A secret that must never leave the host through telemetry.
inline const char kCanary[] = "canary-7f3e-secret";

class UserHost : public ExtractTest::ExtractionTest {
protected:
    void SetUp() override {
        ExtractionTest::SetUp();
        Schema("net", "dns", "resolver", R"({"type": "object",
            "properties": {"servers": {"type": "array", "items": {"type": "string"}}}})",
               R"(,"mutableDefault": true)");
        Schema("net", "links", "interfaces", R"({"type": "object", "required": ["name"],
            "properties": {"name": {"type": "string"},
                           "mtu": {"type": "integer", "default": 1500}}})",
               R"(,"multiInstance": true, "instanceKey": "name", "reservedInstanceIds": ["lo"])");
        Schema("security", "login", "banners", R"({"type": "object", "telemetryDisabled": true,
            "properties": {"cs_generated_id": {"type": "string"}, "text": {"type": "string"}}})",
               R"(,"multiInstance": true, "instanceKey": "cs_generated_id")");
        Schema("security", "accounts", "service", R"({"type": "object",
            "properties": {"user": {"type": "string"},
                           "password": {"type": "string", "sensitive": true}}})");
        // A fresh host runs the resolver's default.
        TarnConfigStore::PutDefaultRow(connection_, "net", "dns", "resolver", "",
                                       R"({"servers":["10.0.0.53"]})");
        Current("net", "dns", "resolver", "", R"({"servers":["10.0.0.53"]})");
    }

    // The rows of a typical host: the resolver changed, two interfaces and a reserved one,
    // two banners and a service account holding the canary.
    void Populate() {
        Current("net", "dns", "resolver", "", R"({"servers":["10.0.0.1"]})");
        Current("net", "links", "interfaces", "eth0", R"({"name":"eth0","mtu":9000})");
        Current("net", "links", "interfaces", "eth1", R"({"name":"eth1","mtu":1500})");
        Current("net", "links", "interfaces", "lo", R"({"name":"lo"})");
        Current("security", "login", "banners", "b1", R"({"cs_generated_id":"b1","text":"hi"})");
        Current("security", "login", "banners", "b2", R"({"cs_generated_id":"b2","text":"yo"})");
        Current("security", "accounts", "service", "",
                std::string(R"({"user":"svc","password":")") + kCanary + "\"}");
    }

    static void Allowlist(const std::string& name, const std::string& text) {
        TarnTest::WriteFile(std::string(TarnPaths::kTelemetryDir) + name, text);
    }

    static void AllowEverything() {
        Allowlist("all.json", R"(["net.dns.resolver", "net.links.interfaces",
            "security.login.banners", "security.accounts.service"])");
    }
};

}  // namespace TelemetryTest
