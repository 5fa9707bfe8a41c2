#include "tarn/configstore/store_stats.h"

#include "sqlite_statement.h"
#include "tarn/configstore/db_store.h"

namespace TarnConfigStore {

namespace {

const char* const kRowTables[] = {"current_config", "desired_config", "default_config",
                                  "smartnic_config", "desired_smartnic_config"};

int64_t Query(const std::string& sql) {
    auto connection = GetDBStore(DBStore::CONFIG_STORE, true);
    Statement statement(*connection, sql.c_str());
    return statement.Step() ? statement.Integer(0) : 0;
}

int64_t RowCount(const std::string& table) {
    return Query("SELECT COUNT(*) FROM " + table);
}

int64_t TextBytes(const std::string& table) {
    return Query(
        "SELECT COALESCE(SUM(LENGTH(CAST(value AS BLOB)) + "
        "LENGTH(CAST(auto_conf_value AS BLOB))), 0) FROM " +
        table);
}

}  // namespace

long GetConfigRowCount() {
    int64_t count = 0;
    for (const char* table : kRowTables) {
        count += RowCount(table);
    }
    return static_cast<long>(count);
}

long GetVitalConfigSize() {
    return static_cast<long>(TextBytes("desired_config") + TextBytes("desired_smartnic_config"));
}

long GetUserConfigSize() {
    return static_cast<long>(TextBytes("current_config"));
}

long GetCachedConfigSize() {
    return static_cast<long>(TextBytes("default_config") + TextBytes("smartnic_config"));
}

std::vector<std::string> GetConfigMetrics() {
    std::vector<std::string> metrics;
    for (const char* table : kRowTables) {
        metrics.push_back(std::string(table) + " rows=" + std::to_string(RowCount(table)) +
                          " bytes=" + std::to_string(TextBytes(table)));
    }
    int64_t pages = Query("PRAGMA page_count") - Query("PRAGMA freelist_count");
    metrics.push_back("database bytes=" + std::to_string(pages * Query("PRAGMA page_size")));
    return metrics;
}

}  // namespace TarnConfigStore
