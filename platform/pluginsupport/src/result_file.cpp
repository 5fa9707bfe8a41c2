#include "tarn/pluginsupport/result_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tarn/json/json_text.h"

namespace TarnConfigManager {

void WriteResultFile(const std::string& path, const rapidjson::Value& value) {
    std::string text = TarnConfigStore::WriteJsonText(value);
    if (!TarnConfigStore::WriteFileAtomically(path, text, 0600,
                                              TarnConfigStore::Durability::kTransient)) {
        throw std::runtime_error("Failed to write result file " + path + ": " +
                                 std::strerror(errno));
    }
}

void WriteResultFile(const std::string& path, const ErrorInfo& error) {
    rapidjson::Document doc(rapidjson::kObjectType);
    error.convertToJson(doc, doc.GetAllocator());
    WriteResultFile(path, doc);
}

void ReadResultFile(const std::string& path, rapidjson::Document& out) {
    TarnConfigStore::JsonParseError error;
    if (!TarnConfigStore::ParseJsonFile(path.c_str(), out, &error)) {
        throw std::runtime_error("Failed to load result file " + path + ": " + error.message);
    }
    if (!out.IsObject()) {
        throw std::runtime_error("Failed to load result file " + path + ": not a JSON object");
    }
}

}  // namespace TarnConfigManager
