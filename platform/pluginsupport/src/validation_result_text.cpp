// The validation result as the library reports it to its callers.
#include "result_record_io.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/pluginsupport/validation_plugin_result.h"

namespace TarnConfigManager {

std::string ValidationPluginResult::Serialize() const {
    rapidjson::Document doc(rapidjson::kObjectType);
    auto& allocator = doc.GetAllocator();
    if (!pluginErr.id.empty()) {
        rapidjson::Value error(rapidjson::kObjectType);
        pluginErr.convertToJson(error, allocator);
        doc.AddMember("pluginErr", error, allocator);
    }
    if (!errors.empty()) {
        AddRecordList(doc, "errors", errors, allocator);
    }
    std::string text;
    ConfigStoreDocument::SerializeValue(doc, text);
    return text;
}

}  // namespace TarnConfigManager
