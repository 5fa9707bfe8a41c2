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
#include "row_visit.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

rapidjson::Document ExtractCurrentConfiguration() {
    CSLogger::Batch logBatch;
    HostLock hostLock;
    CSLogger::Log(3, "%s invoked", "ExtractCurrentConfiguration");
    SyncSshConfiguration();
    rapidjson::Document document(rapidjson::kObjectType);
    auto connection = HoldStoreForCall();
    auto store = RequireSchemaStore(TarnSchemaStore::SchemaStore::GetStore());
    // The extract plugins run before the rows are read (their run does not depend on the rows,
    // and reading logs nothing), so that each row is converted as it is read and skipped when a
    // plugin serves its key: no row list is ever held.
    std::shared_ptr<ExtractionData> extracted = RunExtractPlugins();
    ProcessMutableDefaultDeletes(connection, *extracted, store);
    auto stored = [&extracted](const RowNames& row) {
        return extracted->keys.count(TarnSchemaStore::SchemaObjectId(
                   std::string(row.component), std::string(row.group), std::string(row.key))) == 0;
    };
    ConsumeVisitedRows(document, connection, TarnConfigStore::RowTable::kCurrent,
                       VisitRows(TarnConfigStore::RowTable::kCurrent, stored), extracted->rows,
                       store, CURRENT_CONFIG, extracted);
    return document;
}

rapidjson::Document ExtractDesiredConfiguration() {
    CSLogger::Log(3, "%s invoked", "ExtractDesiredConfiguration");
    rapidjson::Document document(rapidjson::kObjectType);
    auto connection = HoldStoreForCall();
    ConsumeVisitedRows(document, connection, TarnConfigStore::RowTable::kDesired,
                       VisitRows(TarnConfigStore::RowTable::kDesired), RowList(),
                       TarnSchemaStore::SchemaStore::GetStore(), DESIRED_CONFIG, nullptr);
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
