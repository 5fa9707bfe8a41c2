#include "deradidezivizoda/core/config_rows.h"

#include <algorithm>

#include "deradidezivizoda/core/document.h"

namespace TarnConfigManager {

namespace {

const std::string& Column(const TarnConfigStore::ConfigRow& row, const std::string& name) {
    static const std::string kEmpty;
    auto it = row.find(name);
    return it == row.end() ? kEmpty : it->second;
}

}  // namespace

rapidjson::Document CreateDocumentFromMap(const ConfigRowList& rows) {
    rapidjson::Document result;
    if (rows.size() == 1 && Column(*rows[0], "Identifier").empty()) {
        ParseDocument(Column(*rows[0], "Value"), result);
        return result;
    }
    result.SetArray();
    for (const auto& row : rows) {
        rapidjson::Document element;
        ParseDocument(Column(*row, "Value"), element);
        result.PushBack(rapidjson::Value(element, result.GetAllocator()), result.GetAllocator());
    }
    return result;
}

void FilterSolutionUserInstances(ConfigRowList& rows,
                                 std::shared_ptr<TarnSchemaStore::SchemaObject> schema) {
    if (rows.empty() || !schema->IsMultiInstance() ||
        schema->GetInstanceKey() == TarnSchemaStore::kGeneratedInstanceKey) {
        return;
    }
    const std::vector<std::string>& reserved = schema->GetReservedInstanceIds();
    auto isReserved = [&reserved](const std::shared_ptr<TarnConfigStore::ConfigRow>& row) {
        const std::string& id = Column(*row, "Identifier");
        return std::find(reserved.begin(), reserved.end(), id) != reserved.end();
    };
    rows.erase(std::remove_if(rows.begin(), rows.end(), isReserved), rows.end());
}

ConfigRowList GetExternalDefaultUserConfig(
    const TarnConfigStore::ConfigStoreObjectId& id,
    const std::shared_ptr<DBStore::StoreConnection>& connection,
    std::shared_ptr<TarnSchemaStore::SchemaObject> schema) {
    ConfigRowList rows = TarnConfigStore::GetDefaultUserConfigMapList(id, connection);
    FilterSolutionUserInstances(rows, std::move(schema));
    return rows;
}

}  // namespace TarnConfigManager
