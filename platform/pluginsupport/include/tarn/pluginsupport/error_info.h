// ErrorInfo: the error record of plugin runs and result records: a message id (empty means
// success), the message arguments in placeholder order and a text in the library's words.
// Its JSON form {"id": "...", "args": ["..."], "message": "..."} is shared by result files,
// runners and SDKs. A value type; not shared between threads.
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigManager {

class ErrorInfo {
public:
    ErrorInfo() = default;
    ErrorInfo(std::string id, std::vector<std::string> args, std::string message = "")
        : id(std::move(id)), args(std::move(args)), message(std::move(message)) {}
    ErrorInfo(const ErrorInfo&) = default;
    ErrorInfo& operator=(const ErrorInfo&) = default;
    ErrorInfo(ErrorInfo&& other) noexcept;
    // Swaps the two strings and takes over the argument list; other keeps an empty list.
    ErrorInfo& operator=(ErrorInfo&& other) noexcept;
    ~ErrorInfo() = default;

    bool operator==(const ErrorInfo& other) const {
        return id == other.id && args == other.args && message == other.message;
    }
    bool operator!=(const ErrorInfo& other) const { return !(*this == other); }

    // Compact JSON text of the record.
    std::string Serialize() const;
    // Replaces the record with the one in text (as Serialize writes it). Missing members
    // read as empty. Throws TarnConfigStore::ConfigStoreException 1082 for text that is not
    // such an object.
    void Deserialize(const std::string& text);
    // Reads the record from a result file. Throws std::runtime_error naming the file when it
    // is missing or malformed.
    static ErrorInfo Load(const std::string& path);
    // Fills out, an empty JSON object, with the record's JSON form.
    void convertToJson(rapidjson::Value& out, rapidjson::MemoryPoolAllocator<>& allocator) const;
    // Reads the record from its JSON form; throws ConfigStoreException 1082 on a wrong shape.
    void FromJson(const rapidjson::Value& value);

    std::string id;
    std::vector<std::string> args;
    std::string message;
};

}  // namespace TarnConfigManager

TARN_PUBLIC_END
