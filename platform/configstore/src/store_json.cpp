#include "store_json.h"

#include "tarn/json/config_store_exception.h"

namespace TarnConfigStore {

void ThrowDataError(const std::string& message) {
    throw ConfigStoreException(kStoreDataError, message.c_str());
}

void ThrowParseError(const std::string& context, const JsonParseError& error) {
    std::string message =
        context + ": " + error.message + " (offset " + std::to_string(error.offset) + ")";
    ConfigStoreException exception(kStoreDataError, message.c_str());
    exception.SetParseError(error);
    throw exception;
}

namespace {

template <typename Describe>
void ParseDescribed(const std::string& text, rapidjson::Document& out, Describe describe) {
    JsonParseError error;
    if (!ParseJsonText(text, out, &error)) {
        ThrowParseError("Invalid JSON text for " + describe(), error);
    }
}

template <typename Describe>
std::string CompactDescribed(const std::string& text, Describe describe) {
    ScratchDocument document;
    ParseDescribed(text, document.Get(), describe);
    return WriteJsonText(document.Get());
}

}  // namespace

void ParseStoreJson(const std::string& text, rapidjson::Document& out, const std::string& what) {
    ParseDescribed(text, out, [&what] { return what; });
}

void ParseStoreJson(const std::string& text, rapidjson::Document& out, const char* what,
                    const ConfigStoreObjectId& id) {
    ParseDescribed(text, out, [what, &id] { return what + id.toString(); });
}

std::string CompactStoreJson(const std::string& text, const std::string& what) {
    return CompactDescribed(text, [&what] { return what; });
}

std::string CompactStoreJson(const std::string& text, const char* what,
                             const ConfigStoreObjectId& id) {
    return CompactDescribed(text, [what, &id] { return what + id.toString(); });
}

}  // namespace TarnConfigStore
