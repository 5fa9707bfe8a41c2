// The configuration store's table layout and its creation on first open. Private to the
// configuration store library; called by GetDBStore on the opening thread.
#pragma once

#include "tarn/configstore/db_store.h"

namespace TarnConfigStore {

// Version recorded in PRAGMA user_version once the tables exist.
constexpr int kStoreSchemaVersion = 1;

// Accepts a database of the current version, creates the tables in an empty one and refuses
// anything else (a newer version, or a database of some other program) without changing it.
// Switches the database to write-ahead logging.
void EnsureStoreSchema(DBStore::StoreConnection& connection);

// For a connection that cannot write: accepts only a database of the current version.
void CheckStoreSchema(const DBStore::StoreConnection& connection);

}  // namespace TarnConfigStore
