#include "tarn/pluginsupport/extract_plugin_result.h"

#include "result_record_io.h"
#include "tarn/pluginsupport/config_object_json.h"

namespace TarnConfigManager {

void ExtractPluginResult::convertToJson(rapidjson::Value& out,
                                        rapidjson::MemoryPoolAllocator<>& allocator) const {
    error.convertToJson(out, allocator);
    rapidjson::Value list(rapidjson::kArrayType);
    for (const auto& object : configs) {
        rapidjson::Value entry(rapidjson::kObjectType);
        std::string config = object->HasValue() ? object->GetSerializedData() : "null";
        entry.AddMember("config", rapidjson::Value(config, allocator), allocator);
        AddObjectIdMembers(object->GetConfigStoreObjectId(), entry, allocator);
        list.PushBack(entry, allocator);
    }
    out.AddMember("configs", list, allocator);
}

void ExtractPluginResult::FromJson(const rapidjson::Value& value) {
    ExtractPluginResult read;
    read.error.FromJson(value);
    InstanceIndex index;
    ForEachListed(value, "configs", [&read, &index](const rapidjson::Value& entry) {
        read.configs.push_back(ReadConfigObject(entry, index));
    });
    *this = std::move(read);
}

void ExtractPluginResult::Write(const std::string& path) const {
    WriteResultRecord(*this, path);
}

ExtractPluginResult ExtractPluginResult::Load(const std::string& path) {
    return LoadResultRecord<ExtractPluginResult>(path);
}

}  // namespace TarnConfigManager
