#include "deradidezivizoda/extract/extract_plugins.h"

#include <algorithm>
#include <string>
#include <vector>

#include "boost/algorithm/string/join.hpp"
#include "deradidezivizoda/core/config_object.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/plugin_manager.h"
#include "deradidezivizoda/plugins/plugin_monitor.h"
#include "row_columns.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/pluginsupport/extract_plugin_result.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

namespace {

TarnSchemaStore::SchemaObjectId KeyOf(const TarnConfigStore::ConfigStoreObjectId& id) {
    return TarnSchemaStore::SchemaObjectId(id.GetComponent(), id.GetGroup(), id.GetKey());
}

std::shared_ptr<TarnConfigStore::ConfigRow> ObjectRow(
    const TarnConfigStore::ConfigStoreObject& object) {
    const TarnConfigStore::ConfigStoreObjectId& id = object.GetConfigStoreObjectId();
    return std::make_shared<TarnConfigStore::ConfigRow>(
        TarnConfigStore::ConfigRow{{"Name", id.GetKey()},
                                   {"Component", id.GetComponent()},
                                   {"ConfigGroup", id.GetGroup()},
                                   {"Identifier", id.GetInstanceId()},
                                   {"Value", object.GetSerializedData()}});
}

// Adds the plugin's valid objects to result's rows; false when any object fails its schema.
bool AddObjectRows(const ExtractPluginResult& extracted, const TarnSchemaStore::SchemaCache& cache,
                   ExtractionData& result) {
    bool valid = true;
    for (const auto& object : extracted.configs) {
        auto schema = cache.Find(KeyOf(object->GetConfigStoreObjectId()));
        if (!schema) {
            CSLogger::Log(0, "Invalid ConfigStoreObject: %s has no schema",
                          object->GetConfigStoreObjectId().toString().c_str());
        }
        if (schema && IsValidCSO(schema, object)) {
            result.rows.push_back(ObjectRow(*object));
        } else {
            valid = false;
        }
    }
    return valid;
}

}  // namespace

std::shared_ptr<ExtractionData> RunExtractPlugins() {
    HostLock hostLock;
    auto cache = TarnSchemaStore::SchemaStore::GetCache();
    PluginManager manager(EXTRACT);
    auto result = std::make_shared<ExtractionData>();
    std::vector<std::string> invalid;
    for (const auto& plugin : manager.GetPlugins()) {
        std::vector<TarnConfigStore::ConfigStoreObjectId> ids = plugin->GetExtractConfigIds();
        for (const auto& id : ids) {
            result->keys.insert(KeyOf(id));
        }
        ExtractPluginResult extracted = plugin->Extract(ids, "", PluginMonitor::Dummy());
        if (!extracted.error.id.empty()) {
            CSLogger::Log(0, "Extract plugin failed: %s", plugin->GetId().c_str());
            // The message names only the plugin; its own error says why (a file it cannot
            // read back, say), so the log keeps it and the exception carries it as its cause.
            CSLogger::Log(0, "Extract plugin %s reported %s [%s]", plugin->GetId().c_str(),
                          extracted.error.id.c_str(),
                          boost::algorithm::join(extracted.error.args, ", ").c_str());
            auto failed = MakeException<ConfigManagerException>(EXTRACT_FAILED, plugin->GetId());
            failed.SetCause(extracted.error);
            throw failed;
        }
        if (!AddObjectRows(extracted, *cache, *result)) {
            invalid.push_back(plugin->GetId());
            CSLogger::Log(0, "Extract plugin returned invalid configs: %s",
                          plugin->GetId().c_str());
        }
    }
    if (!invalid.empty()) {
        ThrowException<ConfigManagerException>(EXTRACT_FAILED,
                                               boost::algorithm::join(invalid, ","));
    }
    return result;
}

void MergeExtractedConfig(RowList& rows, const std::shared_ptr<ExtractionData>& result) {
    if (result->keys.empty()) {
        rows.insert(rows.end(), result->rows.begin(), result->rows.end());
        return;
    }
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&result](const std::shared_ptr<TarnConfigStore::ConfigRow>& row) {
                                  return result->keys.count(RowKey(*row)) != 0;
                              }),
               rows.end());
    rows.insert(rows.end(), result->rows.begin(), result->rows.end());
}

}  // namespace TarnConfigManager
