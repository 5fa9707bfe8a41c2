#include "tarnctl_fixture.h"

#include <chrono>
#include <functional>
#include <thread>

#include "deadline.h"
#include "plugin_files.h"
#include "plugin_install.h"
#include "schema_files.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/json_text.h"

namespace TarnTest {

const char kProbeDocument[] = R"({"testing": {"plugins": {"probe": {"on": true}}}})";

void TarnctlTest::SetUp() {
    HostRootTest::SetUp();
    InstallKeySchema("net", "dns", "resolver", R"({"type": "object", "properties": {
        "servers": {"type": "array", "items": {"type": "string"}}}})",
                     "");
    connection_ = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    TarnConfigStore::PutCurrentRow(connection_, "net", "dns", "resolver", "",
                                   R"({"servers":["10.0.0.1"]})");
}

std::string DocumentFile(const std::string& text) {
    std::string path = TARN_BINARY_DIR "/tests/tarnctl/document.json";
    WriteFile(path, text);
    return path;
}

std::string TarnctlTest::ResolverDocument(const std::string& servers) {
    return R"({"net": {"dns": {"resolver": {"servers": )" + servers + "}}}}";
}

void TarnctlTest::InstallProbePlugin(const std::string& behaviour) {
    InstallManifestSchemas();
    InstallPluginRunners();
    InstallKeySchema(kTestPluginComponent, kTestPluginGroup, kTestPluginKey,
                     R"({"type": "object", "properties": {"on": {"type": "boolean"}}})", "");
    InstallTestPlugin("python", behaviour);
}

namespace {

bool Await(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

std::string ApplyOutcome(const std::string& out) {
    rapidjson::Document parsed;
    if (!TarnConfigStore::ParseJsonText(out, parsed) || !parsed.IsObject()) {
        return "not a JSON object: " + out;
    }
    rapidjson::Document outcome(rapidjson::kObjectType);
    for (const char* name : {"result", "impact", "status"}) {
        if (parsed.HasMember(name)) {
            outcome.AddMember(rapidjson::StringRef(name), parsed[name], outcome.GetAllocator());
        }
    }
    return TarnConfigStore::WriteJsonText(outcome);
}

bool AwaitFile(const std::string& path) {
    return Await([&path] { return PathExists(path); });
}

bool AwaitText(const std::string& path, const std::string& text) {
    return Await([&] { return ReadFile(path).find(text) != std::string::npos; });
}

}  // namespace TarnTest
