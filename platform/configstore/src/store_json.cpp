#include "store_json.h"

#include "tarn/configstore/config_store_exception.h"

namespace TarnConfigStore {

void ThrowDataError(const std::string& message) {
    throw ConfigStoreException(kStoreDataError, message.c_str());
}

void ThrowParseError(const std::string& context, const JsonParseError& error) {
    ThrowDataError(context + ": " + error.message + " (offset " + std::to_string(error.offset) +
                   ")");
}

void ParseStoreJson(const std::string& text, rapidjson::Document& out, const std::string& what) {
    JsonParseError error;
    if (!ParseJsonText(text, out, &error)) {
        ThrowParseError("Invalid JSON text for " + what, error);
    }
}

std::string CompactStoreJson(const std::string& text, const std::string& what) {
    rapidjson::Document document;
    ParseStoreJson(text, document, what);
    return WriteJsonText(document);
}

}  // namespace TarnConfigStore
