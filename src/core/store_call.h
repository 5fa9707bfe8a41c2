// The configuration store held for the length of one library call.
#pragma once

#include <memory>

#include "tarn/configstore/db_store.h"

namespace TarnConfigManager {

// This thread's connection to the store (the database created when missing), held by the
// caller until its call returns: every store read and write of the thread shares it instead of
// opening the database again. Throws ConfigStoreException 1001 when the store cannot be opened.
inline std::shared_ptr<DBStore::StoreConnection> HoldStoreForCall() {
    return TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
}

}  // namespace TarnConfigManager
