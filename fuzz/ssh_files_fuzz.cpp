// libFuzzer target for the host's line-oriented files: root's authorized_keys, the client's
// ssh_config, the server's sshd_config and the feature state file; the first byte picks the
// file, the rest is its text. A file is refused with a message naming its line, or read into
// rows valid against the key schema shipped for the file; the feature file never fails to load.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "ssh_text.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"
#include "tarn/sablectl/feature_state.h"
#include "tarn/schemastore/schema_object.h"
#include "tarn/validator/json_validator.h"

using namespace SableCtl::System;

namespace {

const std::string kPath = "/etc/ssh/fuzzed";
const char* const kKeys[] = {"authorized_keys", "client_config", "server_config"};

// The key schema of each file, as shipped.
std::shared_ptr<TarnSchemaStore::SchemaObject> gSchemas[3];

void LoadSchemas() {
    for (int kind = 0; kind < 3; ++kind) {
        std::string path = std::string(TARN_SOURCE_DIR) + "/platform/sablectl/schemas/tarn/ssh/" +
                           kKeys[kind] + ".json";
        rapidjson::Document file;
        if (!TarnConfigStore::ParseJsonFile(path.c_str(), file)) {
            std::abort();
        }
        gSchemas[kind] =
            TarnSchemaStore::SchemaObject::Create({"tarn", "ssh", kKeys[kind]}, file, path);
    }
}

void CheckRows(int kind, const std::vector<SshConfigRow>& rows) {
    for (const auto& row : rows) {
        rapidjson::Document value;
        if (!TarnConfigStore::ParseJsonText(row.value, value)) {
            std::abort();
        }
        rapidjson::Document errors;
        JsonValidator::Validate(gSchemas[kind]->GetDefinition(), value, errors,
                                {JsonValidator::kUnknownKeyword, JsonValidator::kUnknownFormat,
                                 JsonValidator::kInvalidKeyword},
                                "");
        if (!errors.Empty()) {
            std::fprintf(stderr, "%s\n%s\n", row.value.c_str(),
                         TarnConfigStore::WriteJsonText(errors).c_str());
            std::abort();
        }
    }
}

void ParseSsh(int kind, const std::string& text) {
    std::vector<SshConfigRow> rows;
    try {
        if (kind == 0) {
            rows = ParseAuthorizedKeys(text, kPath);
        } else if (kind == 1) {
            rows = ParseKeywordFile(text, kPath, {"Host", "Match"});
        } else {
            rows = ParseKeywordFile(text, kPath, {"Match"});
        }
    } catch (const std::runtime_error& error) {
        // The message must say where: "<path>:<line>: ...".
        if (std::string(error.what()).rfind(kPath + ":", 0) != 0) {
            std::abort();
        }
        return;
    }
    CheckRows(kind, rows);
}

void LoadFeatures(const std::string& text) {
    TarnFuzz::WriteText(TarnPaths::kFeatureStateFile, text);
    FeatureState_InitSilentMode();
    bool quiet = FeatureState_IsEnabled("fuzz");
    FeatureState_InitDeltaMode();
    if (FeatureState_IsEnabled("fuzz") != quiet) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TarnFuzz::PrepareHostRoot();
    LoadSchemas();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string text = TarnFuzz::InputText(data + 1, size - 1);
    int kind = data[0] % 4;
    if (kind == 3) {
        LoadFeatures(text);
    } else {
        ParseSsh(kind, text);
    }
    return 0;
}
