// The answer of a validation plugin run: one ValidationErrorInfo per invalid path and the
// run's ErrorInfo (pluginErr). Loaded by the library from the result file, written by runners
// and SDKs. Plain values; owned by their holder, one thread at a time.
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/json/json.h"
#include "tarn/pluginsupport/error_info.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigManager {

// One invalid field: its "/"-separated path and one ErrorInfo per problem found there.
class ValidationErrorInfo {
public:
    bool operator==(const ValidationErrorInfo& other) const {
        return path == other.path && messages == other.messages;
    }
    bool operator!=(const ValidationErrorInfo& other) const { return !(*this == other); }

    // Fills out, an empty JSON object, with "path" and "messages" (present even when empty).
    void convertToJson(rapidjson::Value& out, rapidjson::MemoryPoolAllocator<>& allocator) const;
    // Reads the entry from its JSON form; "path" and "messages" are required. Throws
    // ConfigStoreException 1082 naming the member otherwise.
    void FromJson(const rapidjson::Value& value);

    std::string path;
    std::vector<ErrorInfo> messages;
};

class ValidationPluginResult {
public:
    // Fills out, an empty JSON object, with the result file's form.
    void convertToJson(rapidjson::Value& out, rapidjson::MemoryPoolAllocator<>& allocator) const;
    // Replaces the record with the one in value; ConfigStoreException 1082 on a wrong shape.
    void FromJson(const rapidjson::Value& value);
    // Writes the result file (see WriteResultFile); std::runtime_error naming the file.
    void Write(const std::string& path) const;
    // Reads a result file; std::runtime_error naming the file when missing or malformed.
    static ValidationPluginResult Load(const std::string& path);
    // The validation result JSON the library reports to its callers: "pluginErr" (the
    // ErrorInfo form) when pluginErr.id is not empty, then "errors" when there are any; a
    // valid result is "{}". Not the result file's form.
    std::string Serialize() const;

    std::vector<ValidationErrorInfo> errors;
    ErrorInfo pluginErr;
};

}  // namespace TarnConfigManager

TARN_PUBLIC_END
