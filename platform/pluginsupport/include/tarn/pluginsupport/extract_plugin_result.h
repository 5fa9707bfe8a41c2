// The answer of an extract plugin run: the extracted configuration objects and the run's
// ErrorInfo. Loaded by the library from the result file, written by runners and SDKs.
// A plain value; the objects are shared; one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarn/configstore/config_store_object.h"
#include "tarn/export.h"
#include "tarn/json/json.h"
#include "tarn/pluginsupport/error_info.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigManager {

class ExtractPluginResult {
public:
    // Fills out, an empty JSON object, with the result file's form. Objects without a value
    // are written with "config": "null".
    void convertToJson(rapidjson::Value& out, rapidjson::MemoryPoolAllocator<>& allocator) const;
    // Replaces the record with the one in value. Instances of one key get the indexes 0, 1,
    // ... in file order. Throws ConfigStoreException 1082 on a wrong shape, 2000 for a
    // "config" text that is not JSON.
    void FromJson(const rapidjson::Value& value);
    // Writes the result file (see WriteResultFile); std::runtime_error naming the file.
    void Write(const std::string& path) const;
    // Reads a result file; std::runtime_error naming the file when missing or malformed.
    static ExtractPluginResult Load(const std::string& path);

    std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>> configs;
    ErrorInfo error;
};

}  // namespace TarnConfigManager

TARN_PUBLIC_END
