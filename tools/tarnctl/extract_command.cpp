#include "extract_command.h"

#include "console.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "exit_codes.h"

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

}  // namespace

int RunExtract(const Console& console, ExtractWhat what) {
    rapidjson::Document document = Extract(what);
    if (console.Json()) {
        console.PrintJson(document);
    } else {
        console.PrintPrettyJson(document);
    }
    return kExitOk;
}

}  // namespace Tarnctl
