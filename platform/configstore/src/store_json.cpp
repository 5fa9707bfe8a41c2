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
    ScratchDocument document;
    ParseStoreJson(text, document.Get(), what);
    return WriteJsonText(document.Get());
}

}  // namespace TarnConfigStore
