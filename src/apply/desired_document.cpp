#include "desired_document.h"

#include "tarn/configstore/store_rows.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

void StoreDesiredDocument(const rapidjson::Document& document) {
    std::shared_ptr<TarnSchemaStore::SchemaStore> schemas =
        TarnSchemaStore::SchemaStore::GetStore();
    TarnConfigStore::SetDesiredUserConfig(
        document,
        [&](const std::string& component, const std::string& group, const std::string& key) {
            auto schema = TarnSchemaStore::GetSchema(component, group, key, schemas);
            return schema ? schema->GetInstanceKey() : std::string();
        });
}

}  // namespace TarnConfigManager
