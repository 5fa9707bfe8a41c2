#include "deradidezivizoda/extract/extract_user_configuration.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <unordered_set>

#include "core/store_call.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/extract/config_map_list.h"
#include "deradidezivizoda/extract/extract_plugins.h"
#include "deradidezivizoda/extract/mutable_default.h"
#include "deradidezivizoda/extract/ssh_sync.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "row_columns.h"
#include "row_visit.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/join_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace TarnConfigManager {

namespace {

using KeySet = std::unordered_set<TarnSchemaStore::SchemaObjectId>;

const char kTelemetryNotice[] =
    "Configuration value cannot be exported for telemetry since it contains customer sensitive "
    "information.";

std::string ConfigId(const RowNames& row) {
    return TarnConfigStore::JoinText({row.component, ".", row.group, ".", row.key});
}

// The ids of every ".json" regular file (symbolic links followed) in the allowlist folder.
std::unordered_set<std::string> LoadAllowlists() {
    const std::string folder = TarnPaths::kTelemetryDir;
    std::unordered_set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::filesystem::path& path = entry.path();
        if (!entry.is_regular_file() || path.extension() != ".json") {
            continue;
        }
        CSLogger::Log(3, "Loading telemetry allowlist %s from '%s'", path.c_str(), folder.c_str());
        rapidjson::Document list = TarnConfigStore::CreateDocumentFromFile(path.string());
        // GetArray and GetString fail the JSON assertion hook (1082) on any other shape.
        for (const rapidjson::Value& id : list.GetArray()) {
            ids.emplace(id.GetString(), id.GetStringLength());
        }
        CSLogger::Log(3, "Loaded configIDs from %s", path.c_str());
    }
    return ids;
}

void KeepAllowlisted(RowList& more, const std::unordered_set<std::string>& allowed) {
    more.erase(std::remove_if(
                   more.begin(), more.end(),
                   [&](const auto& row) { return allowed.count(ConfigId(NamesOf(*row))) == 0; }),
               more.end());
}

// The stored rows of the mutable-default keys (none of the extract plugins' keys) go through
// their processing with the plugins' rows: the rows that differ from the key's default are
// appended to more. Returns the mutable-default keys, whose stored rows are then done.
KeySet ProcessMutableDefaultRows(const std::shared_ptr<DBStore::StoreConnection>& connection,
                                 const std::shared_ptr<TarnSchemaStore::SchemaStore>& store,
                                 const ExtractionData& plugins, RowList& more) {
    KeySet keys = store->GetMutableDefaultKeys(false);
    std::vector<TarnConfigStore::ConfigStoreObjectId> stored;
    for (const auto& id : keys) {
        if (plugins.keys.count(id) == 0) {
            stored.emplace_back(id.GetKey(), id.GetGroup(), id.GetComponent());
        }
    }
    std::vector<TarnConfigStore::StoreRow> rows;
    TarnConfigStore::VisitStoreRows(
        connection, TarnConfigStore::RowTable::kCurrent,
        [&rows](const TarnConfigStore::StoreRowView& row) {
            rows.push_back(TarnConfigStore::CopyRow(row));
        },
        &stored);
    ProcessMutableDefaultConfig(rows, more, connection, store);
    return keys;
}

// One row into the telemetry document; a telemetry-disabled key only joins disabled.
void AddTelemetryRow(rapidjson::Document& document, const RowNames& row,
                     const std::shared_ptr<TarnSchemaStore::SchemaStore>& store,
                     const ExtractionData& plugins, KeySet& disabled) {
    const std::string component(row.component);
    const std::string group(row.group);
    const std::string key(row.key);
    const std::string identifier(row.identifier);
    CSLogger::Log(3, "Configuration for {%s/%s/%s/%s} was found.", component.c_str(), group.c_str(),
                  key.c_str(), identifier.c_str());
    TarnSchemaStore::SchemaObjectId id(component, group, key);
    std::shared_ptr<TarnSchemaStore::SchemaObject> schema = RequireSchema(id, store);
    if (IsReservedInstance(*schema, identifier)) {
        CSLogger::Log(3,
                      "Configuration for {%s/%s/%s/%s} was not extracted, since instance is "
                      "created by a solution.",
                      component.c_str(), group.c_str(), key.c_str(), identifier.c_str());
        return;
    }
    const rapidjson::Value& valueSchema = AutoConfigSchema(schema->GetDefinition());
    if (schema->IsMultiInstance() && ConfigStoreDocument::IsTelemetryDisabled(valueSchema)) {
        disabled.insert(std::move(id));
        return;
    }
    rapidjson::Document value;
    ParseDocument(std::string(row.value), value);
    if (plugins.keys.count(id) == 0) {
        ProcessAutoConfig(value, valueSchema, std::string(row.autoConfValue), value.GetAllocator());
    }
    ConfigStoreDocument::CleanupObject(value, valueSchema, CleanupActionsFor(TELEMETRY_CONFIG),
                                       value.GetAllocator());
    if (value.IsObject() && value.MemberCount() == 0) {
        CSLogger::Log(3, "Configuration for {%s/%s/%s/%s} was filtered out.", component.c_str(),
                      group.c_str(), key.c_str(), identifier.c_str());
        return;
    }
    ConfigStoreDocument::AddObject(document["profile"], component, group, key, identifier, value,
                                   document.GetAllocator());
}

void ProcessConfigMapListTelemetry(rapidjson::Document& document,
                                   const std::shared_ptr<DBStore::StoreConnection>& connection,
                                   const StoreRowVisit& visit, const RowList& more,
                                   const std::shared_ptr<TarnSchemaStore::SchemaStore>& store,
                                   const ExtractionData& plugins) {
    CSLogger::Log(3, "%s invoked", "ProcessConfigMapListTelemetry");
    ConfigStoreDocument::AddProfile(document);
    KeySet disabled;
    visit(connection, INT64_MIN, INT64_MAX, [&](const TarnConfigStore::StoreRowView& row) {
        AddTelemetryRow(document, row, store, plugins, disabled);
    });
    for (const auto& row : more) {
        AddTelemetryRow(document, NamesOf(*row), store, plugins, disabled);
    }
    rapidjson::Value notice(rapidjson::kObjectType);
    notice.AddMember("telemetry_data", rapidjson::StringRef(kTelemetryNotice),
                     document.GetAllocator());
    for (const auto& id : disabled) {
        ConfigStoreDocument::AddObject(document["profile"], id.GetComponent(), id.GetGroup(),
                                       id.GetKey(), "id", notice, document.GetAllocator());
    }
}

}  // namespace

const char* TelemetryNoticeText() {
    return kTelemetryNotice;
}

namespace {

rapidjson::Document ExtractUserRows(DocumentType type, bool renderValues) {
    // One log line per row: written together, not one write each.
    CSLogger::Batch logBatch;
    HostLock hostLock;
    CSLogger::Log(3, "%s invoked", "ExtractUserConfiguration");
    SyncSshConfiguration();
    rapidjson::Document document(rapidjson::kObjectType);
    auto connection = HoldStoreForCall();
    // The extract plugins run before the store's rows are read (their run does not depend on
    // the rows, and the read logs nothing), so that each row can be converted as it is read and
    // skipped when a plugin serves its key: no row list is ever held.
    std::shared_ptr<ExtractionData> extracted = RunExtractPlugins();
    RowList more = extracted->rows;
    auto store = RequireSchemaStore(TarnSchemaStore::SchemaStore::GetStore());
    const KeySet mutableDefault = ProcessMutableDefaultRows(connection, store, *extracted, more);
    auto unhandled = [&extracted, &mutableDefault](const RowNames& row) {
        TarnSchemaStore::SchemaObjectId id(std::string(row.component), std::string(row.group),
                                           std::string(row.key));
        return extracted->keys.count(id) == 0 && mutableDefault.count(id) == 0;
    };
    if (type != TELEMETRY_CONFIG) {
        ConsumeVisitedRows(document, connection, TarnConfigStore::RowTable::kCurrent,
                           VisitRows(TarnConfigStore::RowTable::kCurrent, unhandled), more, store,
                           type, extracted, renderValues);
        return document;
    }
    const std::unordered_set<std::string> allowed = LoadAllowlists();
    KeepAllowlisted(more, allowed);
    auto listed = [&allowed, &unhandled](const RowNames& row) {
        return unhandled(row) && allowed.count(ConfigId(row)) != 0;
    };
    ProcessConfigMapListTelemetry(document, connection,
                                  VisitRows(TarnConfigStore::RowTable::kCurrent, listed), more,
                                  store, *extracted);
    return document;
}

}  // namespace

rapidjson::Document ExtractUserConfiguration(DocumentType type) {
    return ExtractUserRows(type, false);
}

rapidjson::Document ExtractRenderedUserConfiguration() {
    return ExtractUserRows(EXPORT_CONFIG, true);
}

}  // namespace TarnConfigManager
