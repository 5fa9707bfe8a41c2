// The answer of an impact plugin run: one ImpactPluginInfo per judged change and the run's
// ErrorInfo. Loaded by the library from the result file, written by runners and SDKs.
// Plain values; owned by their holder, one thread at a time.
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/json/json.h"
#include "tarn/pluginsupport/error_info.h"
#include "tarn/pluginsupport/impact_type.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigManager {

// A plugin's verdict on one changed object, named by its component, group, key and instance
// id (empty for a single-instance key).
class ImpactPluginInfo {
public:
    bool operator==(const ImpactPluginInfo& other) const;
    bool operator!=(const ImpactPluginInfo& other) const { return !(*this == other); }

    // Fills out, an empty JSON object, with the entry's JSON form.
    void convertToJson(rapidjson::Value& out, rapidjson::MemoryPoolAllocator<>& allocator) const;
    // Reads the entry from its JSON form. Every member is required; "impact" must be 0, 1
    // or 2. Throws TarnConfigStore::ConfigStoreException 1082 naming the member otherwise.
    void FromJson(const rapidjson::Value& value);

    IMPACT_TYPE impact = NO_IMPACT;
    std::string component;
    std::string group;
    std::string key;
    std::string instanceId;
    // False when the change rules out a quick boot of the host.
    bool quickBootCapable = true;
};

class ImpactPluginResult {
public:
    // Fills out, an empty JSON object, with the result file's form.
    void convertToJson(rapidjson::Value& out, rapidjson::MemoryPoolAllocator<>& allocator) const;
    // Replaces the record with the one in value; ConfigStoreException 1082 on a wrong shape.
    void FromJson(const rapidjson::Value& value);
    // Writes the result file (see WriteResultFile); std::runtime_error naming the file.
    void Write(const std::string& path) const;
    // Reads a result file; std::runtime_error naming the file when missing or malformed.
    static ImpactPluginResult Load(const std::string& path);
    // As Load, into a record the caller keeps for the next result: its list of impacts keeps
    // its capacity. On failure into is left empty.
    static void LoadInto(const std::string& path, ImpactPluginResult& into);

    std::vector<ImpactPluginInfo> impacts;
    ErrorInfo error;
};

}  // namespace TarnConfigManager

TARN_PUBLIC_END
