// Statement: one prepared SQLite statement on a store connection, finalised when it goes out of
// scope. Every failure throws ConfigStoreException 1001 naming the database file. Private to
// the configuration store library; used on the connection's thread only.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tarn/configstore/db_store.h"

namespace TarnConfigStore {

// *connection; ConfigStoreException 1001 when the caller passed none.
DBStore::StoreConnection& RequireConnection(
    const std::shared_ptr<DBStore::StoreConnection>& connection);

class Statement {
public:
    Statement(const DBStore::StoreConnection& connection, const char* sql);
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds parameter index (1-based).
    Statement& Bind(int index, const std::string& text);
    Statement& Bind(int index, int64_t number);

    // Advances to the next row; false when there is none left.
    bool Step();
    // Runs a statement that returns no rows.
    void Run();

    std::string Text(int column) const;
    // The column's text, valid until the next Step; empty for NULL. A NUL follows it.
    std::string_view TextView(int column) const;
    int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }

private:
    const DBStore::StoreConnection& connection_;
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace TarnConfigStore
