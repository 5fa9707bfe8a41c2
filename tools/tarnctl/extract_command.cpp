#include "extract_command.h"

#include <unistd.h>

#include "console.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "error_report.h"
#include "exit_codes.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/schemastore/schema_store.h"

namespace Tarnctl {

namespace {

rapidjson::Document Extract(ExtractWhat what) {
    switch (what) {
        case ExtractWhat::kCurrent:
            return TarnConfigManager::ExtractCurrentConfiguration();
        case ExtractWhat::kDesired:
            return TarnConfigManager::ExtractDesiredConfiguration();
        case ExtractWhat::kSmartnic:
            break;
    }
    rapidjson::Document document;
    TarnConfigManager::ParseDocument(TarnConfigManager::ExtractSmartnicConfiguration(), document);
    return document;
}

// Replaces every value its key's schema marks sensitive by the masked text, as every other
// command shows it: in each key's object, or in each instance of a multi-instance key.
void MaskSecrets(rapidjson::Document& document) {
    using namespace ConfigStoreDocument;
    const std::vector<CLEANUP_ACTIONS> kMask = {MASK_SENSITIVE_VALUES};
    const auto store = TarnSchemaStore::SchemaStore::GetStore();
    for (auto& component : document.GetObject()) {
        for (auto& group : component.value.GetObject()) {
            for (auto& key : group.value.GetObject()) {
                auto schema =
                    TarnSchemaStore::GetSchema(component.name.GetString(), group.name.GetString(),
                                               key.name.GetString(), store);
                if (!schema) {
                    continue;
                }
                rapidjson::Value& value = key.value;
                if (value.IsArray()) {
                    for (auto& instance : value.GetArray()) {
                        CleanupObject(instance, schema->GetDefinition(), kMask,
                                      document.GetAllocator());
                    }
                } else {
                    CleanupObject(value, schema->GetDefinition(), kMask, document.GetAllocator());
                }
            }
        }
    }
}

}  // namespace

int RunExtract(const Console& console, ExtractWhat what, bool showSecrets) {
    if (showSecrets && geteuid() != 0) {
        throw CommandError("--show-secrets is for root only");
    }
    rapidjson::Document document = Extract(what);
    if (!showSecrets) {
        MaskSecrets(document);
    }
    if (console.Json()) {
        console.PrintJson(document);
    } else {
        console.PrintPrettyJson(document);
    }
    return kExitOk;
}

}  // namespace Tarnctl
