#include "tarn/pluginsupport/validation_plugin_result.h"

#include "result_record_io.h"
#include "tarn/pluginsupport/config_object_json.h"

namespace TarnConfigManager {

void ValidationErrorInfo::convertToJson(rapidjson::Value& out,
                                        rapidjson::MemoryPoolAllocator<>& allocator) const {
    out.AddMember("path", rapidjson::Value(path, allocator), allocator);
    AddRecordList(out, "messages", messages, allocator);
}

void ValidationErrorInfo::FromJson(const rapidjson::Value& value) {
    ValidationErrorInfo read;
    read.path = RequiredString(value, "path");
    RequiredMember(value, "messages");
    ReadRecordList(value, "messages", read.messages);
    *this = std::move(read);
}

void ValidationPluginResult::convertToJson(rapidjson::Value& out,
                                           rapidjson::MemoryPoolAllocator<>& allocator) const {
    pluginErr.convertToJson(out, allocator);
    AddRecordList(out, "errors", errors, allocator);
}

void ValidationPluginResult::FromJson(const rapidjson::Value& value) {
    ValidationPluginResult read;
    read.pluginErr.FromJson(value);
    ReadRecordList(value, "errors", read.errors);
    *this = std::move(read);
}

void ValidationPluginResult::Write(const std::string& path) const {
    WriteResultRecord(*this, path);
}

ValidationPluginResult ValidationPluginResult::Load(const std::string& path) {
    return LoadResultRecord<ValidationPluginResult>(path);
}

}  // namespace TarnConfigManager
