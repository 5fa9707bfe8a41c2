#include "impact/drift_inputs.h"

#include "tarn/json/json_text.h"

namespace TarnConfigManager {

rapidjson::Value& ComparedConfiguration(rapidjson::Document& document) {
    auto profile = document.FindMember("profile");
    return profile != document.MemberEnd() ? profile->value : document;
}

std::shared_ptr<TarnConfigStore::DriftObject> DriftObjectOf(
    const TarnConfigStore::ConfigStoreObjectId& id, ACTION action,
    const rapidjson::Value& markers) {
    // MemberCount checks that markers is an object.
    if (markers.IsNull() || markers.MemberCount() == 0) {
        return nullptr;
    }
    return std::make_shared<TarnConfigStore::DriftObject>(id, kActionNames[action],
                                                          TarnConfigStore::WriteJsonText(markers));
}

}  // namespace TarnConfigManager
