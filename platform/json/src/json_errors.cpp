#include "json_errors.h"

#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"

namespace TarnConfigStore {

void JsonAssertFailed(const char* expression, const char* file, int line) {
    std::string message =
        std::string("JSON error: \"") + file + "\" " + std::to_string(line) + " " + expression;
    throw ConfigStoreException(kStoreJsonError, message.c_str());
}

bool FailWithoutPlace(JsonParseError* error, std::string reason, rapidjson::Value& out) {
    out.SetNull();
    if (error) {
        *error = JsonParseError{std::move(reason), 0, 0, 0};
    }
    return false;
}

bool FailTooLarge(JsonParseError* error, uint64_t size, rapidjson::Value& out) {
    std::string reason = "The text is " + std::to_string(size) + " bytes, more than the limit of " +
                         std::to_string(kMaxJsonBytes) + " bytes (" +
                         std::to_string(kMaxJsonBytes >> 20) + " MiB).";
    return FailWithoutPlace(error, std::move(reason), out);
}

void ThrowUnwritable() {
    throw ConfigStoreException(kStoreJsonError,
                               "JSON error: value holds text that is not UTF-8 or a "
                               "number that is not finite");
}

}  // namespace TarnConfigStore
