// libFuzzer target for a desired document on its way to compliance: the input is the document.
// It goes through schema generation, schema validation and, when valid, the drift engine with
// the compliance handler twice: against a fixed host document, and against an equal copy of
// itself, which must be compliant. Refusals are the store's exceptions, never anything else.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "deradidezivizoda/validation/validate.h"
#include "fuzz_host.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace fs = std::filesystem;
using namespace TarnConfigManager;

namespace {

const char kHost[] = R"({"host": {"time": {"ntp": {"enabled": true, "servers": ["a"],
    "peers": [{"name": "p", "port": 1}], "pools": [{"host": "x"}]}},
    "accounts": {"users": [{"name": "root", "uid": 0, "secret": "s"}, {"name": "u", "uid": 7}]},
    "dns": {"servers": [{"ip": "10.0.0.1"}]}}})";

void InstallKeySchema(const std::string& key, const std::string& text) {
    std::string path = TarnPaths::kSchemaDir + key + ".json";
    fs::create_directories(fs::path(path).parent_path());
    TarnFuzz::WriteText(path, text);
}

void InstallSchemas() {
    InstallKeySchema("host/time/ntp", R"({"definition": {"type": "object", "properties": {
        "enabled": {"type": "boolean"}, "level": {"type": "integer"},
        "servers": {"type": "array", "items": {"type": "string"}},
        "options": {"type": "object", "properties": {
            "iburst": {"type": "boolean"}, "minpoll": {"type": "integer"}}},
        "peers": {"type": "array", "instanceId": "name", "items": {"type": "object",
            "properties": {"name": {"type": "string"}, "port": {"type": "integer"}}}},
        "pools": {"type": "array", "instanceId": "cs_generated_id", "items": {"type": "object",
            "properties": {"host": {"type": "string"}, "cs_generated_id": {"type": "string"}}}},
        "cs_generated_id": {"type": "string"}}}})");
    InstallKeySchema("host/accounts/users", R"({"multiInstance": true, "instanceKey": "name",
        "definition": {"type": "object", "properties": {
            "name": {"type": "string"}, "uid": {"type": "integer"},
            "secret": {"type": "string", "sensitive": true}}}})");
    InstallKeySchema("host/dns/servers", R"({"multiInstance": true,
        "instanceKey": "cs_generated_id", "definition": {"type": "object", "properties": {
            "ip": {"type": "string"}, "cs_generated_id": {"type": "string"}}}})");
}

// Whether desired complies with host; the report is built either way.
bool Compliant(const std::string& desiredText, const std::string& hostText) {
    rapidjson::Document desired;
    ParseDocument(desiredText, desired);
    ComplianceResult result;
    CheckComplianceHandler handler(&result);
    handler.useDefaultInstances = false;
    handler.hostDocument.emplace();
    ParseDocument(hostText, *handler.hostDocument);
    ComputeDrift(desired, desired.GetAllocator(), handler);
    return result.compliant;
}

void Check(const std::string& text) {
    rapidjson::Document document;
    if (!TarnConfigStore::ParseJsonText(text, document) || !document.IsObject()) {
        return;
    }
    HostDocumentSchema schema = GenerateHostDocumentSchema(document);
    if (schema.which() != 0) {
        return;
    }
    ValidationResult result;
    Validate(document, boost::get<rapidjson::Document>(schema), "", result, true,
             TaskHandle::Dummy());
    if (!result.errors.empty() || !result.pluginErr.id.empty()) {
        return;
    }
    Compliant(text, kHost);
    if (!Compliant(text, text)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TarnFuzz::PrepareHostRoot();
    InstallSchemas();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        Check(TarnFuzz::InputText(data, size));
    } catch (const TarnConfigStore::ConfigStoreException&) {
    }
    return 0;
}
