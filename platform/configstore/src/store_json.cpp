#include "store_json.h"

#include "tarn/configstore/config_store_exception.h"
#include "tarn/configstore/json_text.h"

namespace TarnConfigStore {

void ThrowDataError(const std::string& message) {
    throw ConfigStoreException(kStoreDataError, message.c_str());
}

void ParseStoreJson(const std::string& text, rapidjson::Document& out, const std::string& what) {
    JsonParseError error;
    if (!ParseJsonText(text, out, &error)) {
        ThrowDataError("Invalid JSON text for " + what + ": " + error.message + " (offset " +
                       std::to_string(error.offset) + ")");
    }
}

std::string CompactStoreJson(const std::string& text, const std::string& what) {
    rapidjson::Document document;
    ParseStoreJson(text, document, what);
    return WriteJsonText(document);
}

}  // namespace TarnConfigStore
