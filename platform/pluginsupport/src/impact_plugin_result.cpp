#include "tarn/pluginsupport/impact_plugin_result.h"

#include "result_record_io.h"
#include "tarn/pluginsupport/config_object_json.h"

namespace TarnConfigManager {

bool ImpactPluginInfo::operator==(const ImpactPluginInfo& other) const {
    return impact == other.impact && component == other.component && group == other.group &&
           key == other.key && instanceId == other.instanceId &&
           quickBootCapable == other.quickBootCapable;
}

void ImpactPluginInfo::convertToJson(rapidjson::Value& out,
                                     rapidjson::MemoryPoolAllocator<>& allocator) const {
    out.AddMember("impact", static_cast<int>(impact), allocator);
    out.AddMember("component", rapidjson::Value(component, allocator), allocator);
    out.AddMember("group", rapidjson::Value(group, allocator), allocator);
    out.AddMember("key", rapidjson::Value(key, allocator), allocator);
    out.AddMember("instanceId", rapidjson::Value(instanceId, allocator), allocator);
    out.AddMember("quickBootCapable", quickBootCapable, allocator);
}

void ImpactPluginInfo::FromJson(const rapidjson::Value& value) {
    static constexpr std::string_view kNames[] = {
        "impact", "quickBootCapable", "component", "group", "key", "instanceId"};
    const rapidjson::Value* found[std::size(kNames)];
    FindMembers(value, kNames, found);
    const rapidjson::Value& level = Required(found[0], "impact");
    if (!level.IsInt() || level.GetInt() < NO_IMPACT || level.GetInt() > REBOOT_REQUIRED) {
        ThrowMemberError("impact", "is not 0, 1 or 2");
    }
    const rapidjson::Value& quickBoot = Required(found[1], "quickBootCapable");
    if (!quickBoot.IsBool()) {
        ThrowMemberError("quickBootCapable", "is not true or false");
    }
    ImpactPluginInfo read;
    read.impact = static_cast<IMPACT_TYPE>(level.GetInt());
    read.component = RequiredString(found[2], "component");
    read.group = RequiredString(found[3], "group");
    read.key = RequiredString(found[4], "key");
    read.instanceId = RequiredString(found[5], "instanceId");
    read.quickBootCapable = quickBoot.GetBool();
    *this = std::move(read);
}

void ImpactPluginResult::convertToJson(rapidjson::Value& out,
                                       rapidjson::MemoryPoolAllocator<>& allocator) const {
    error.convertToJson(out, allocator);
    AddRecordList(out, "impacts", impacts, allocator);
}

void ImpactPluginResult::FromJson(const rapidjson::Value& value) {
    ImpactPluginResult read;
    read.error.FromJson(value);
    ReadRecordList(value, "impacts", read.impacts);
    *this = std::move(read);
}

void ImpactPluginResult::Write(const std::string& path) const {
    WriteResultRecord(*this, path);
}

ImpactPluginResult ImpactPluginResult::Load(const std::string& path) {
    return LoadResultRecord<ImpactPluginResult>(path);
}

void ImpactPluginResult::LoadInto(const std::string& path, ImpactPluginResult& into) {
    std::vector<ImpactPluginInfo> impacts = std::move(into.impacts);
    impacts.clear();
    into = ImpactPluginResult();
    ReadResultRecord(path, [&](const rapidjson::Value& doc) {
        ImpactPluginResult read;
        read.error.FromJson(doc);
        read.impacts = std::move(impacts);
        ReadRecordList(doc, "impacts", read.impacts);
        into = std::move(read);
    });
}

}  // namespace TarnConfigManager
