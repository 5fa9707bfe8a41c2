#include "deradidezivizoda/extract/extract_configuration.h"

#include "core/store_call.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "deradidezivizoda/extract/config_map_list.h"
#include "deradidezivizoda/extract/extract_plugins.h"
#include "deradidezivizoda/extract/mutable_default.h"
#include "deradidezivizoda/extract/ssh_sync.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "row_columns.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

rapidjson::Document ExtractCurrentConfiguration() {
    CSLogger::Batch logBatch;
    HostLock hostLock;
    CSLogger::Log(3, "%s invoked", "ExtractCurrentConfiguration");
    SyncSshConfiguration();
    rapidjson::Document document(rapidjson::kObjectType);
    // The rows as plain records, released as they are converted: nothing outside this call
    // sees them, and row maps would cost more than the rest of the conversion.
    std::vector<TarnConfigStore::StoreRow> rows =
        TarnConfigStore::ReadStoreRows(HoldStoreForCall(), TarnConfigStore::RowTable::kCurrent);
    auto store = RequireSchemaStore(TarnSchemaStore::SchemaStore::GetStore());
    std::shared_ptr<ExtractionData> extracted = RunExtractPlugins();
    DropExtractedKeys(rows, *extracted);
    ProcessMutableDefaultDeletes(rows, extracted->rows, store);
    ConsumeStoreRows(document, rows, extracted->rows, store, CURRENT_CONFIG, extracted);
    return document;
}

rapidjson::Document ExtractDesiredConfiguration() {
    CSLogger::Log(3, "%s invoked", "ExtractDesiredConfiguration");
    rapidjson::Document document(rapidjson::kObjectType);
    std::vector<TarnConfigStore::StoreRow> rows =
        TarnConfigStore::ReadStoreRows(HoldStoreForCall(), TarnConfigStore::RowTable::kDesired);
    ConsumeStoreRows(document, rows, RowList(), TarnSchemaStore::SchemaStore::GetStore(),
                     DESIRED_CONFIG, nullptr);
    return document;
}

std::string ExtractSmartnicConfiguration() {
    CSLogger::Log(3, "%s invoked", "ExtractSmartnicConfiguration");
    auto connection = HoldStoreForCall();
    RowList rows = TarnConfigStore::GetSmartnicConfiguration(connection);
    ProcessMutableDefaultConfig(rows, connection, TarnSchemaStore::SchemaStore::GetStore(), true);
    rapidjson::Document document(rapidjson::kObjectType);
    for (const auto& row : rows) {
        const std::string& component = Column(*row, kComponentColumn);
        const std::string& group = Column(*row, kGroupColumn);
        const std::string& key = Column(*row, kNameColumn);
        const std::string& identifier = Column(*row, kIdentifierColumn);
        CSLogger::Log(2, "Configuration for {%s/%s/%s/%s} was found.", component.c_str(),
                      group.c_str(), key.c_str(), identifier.c_str());
        const std::string& text = Column(*row, kValueColumn);
        if (text == TarnConfigStore::kDeleteDefaultValue) {
            ThrowException<ConfigManagerException>(DELETE_DEFAULT_NOT_SUPPORTED,
                                                   component + "/" + group + "/" + key);
        }
        rapidjson::Document value;
        ParseDocument(text, value);
        ConfigStoreDocument::AddObject(document, component, group, key, identifier, value,
                                       document.GetAllocator());
    }
    return ConfigStoreDocument::NormalizeValue(document);
}

}  // namespace TarnConfigManager
