#include "sqlite_statement.h"

#include "tarn/json/config_store_exception.h"
#include "tarn/json/fault_point.h"

namespace TarnConfigStore {

DBStore::StoreConnection& RequireConnection(
    const std::shared_ptr<DBStore::StoreConnection>& connection) {
    if (!connection) {
        throw ConfigStoreException(kStoreAccessError,
                                   "Configuration store: no connection was given");
    }
    return *connection;
}

Statement::Statement(const DBStore::StoreConnection& connection, const char* sql)
    : connection_(connection) {
    if (sqlite3_prepare_v2(connection.GetHandle(), sql, -1, &statement_, nullptr) != SQLITE_OK) {
        connection.Fail(std::string("cannot prepare \"") + sql + "\"");
    }
}

Statement& Statement::Bind(int index, const std::string& text) {
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
        connection_.Fail("cannot bind a statement parameter");
    }
    return *this;
}

Statement& Statement::Bind(int index, int64_t number) {
    if (sqlite3_bind_int64(statement_, index, number) != SQLITE_OK) {
        connection_.Fail("cannot bind a statement parameter");
    }
    return *this;
}

bool Statement::Step() {
    int rc = InjectedFailure(FaultStep::kSqlite);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement_);
    }
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        connection_.Fail(std::string("cannot run \"") + sqlite3_sql(statement_) + "\"", rc);
    }
    return false;
}

void Statement::Run() {
    while (Step()) {
    }
}

std::string Statement::Text(int column) const {
    return std::string(TextView(column));
}

std::string_view Statement::TextView(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    int size = sqlite3_column_bytes(statement_, column);
    return text ? std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
                : std::string_view("");
}

}  // namespace TarnConfigStore
