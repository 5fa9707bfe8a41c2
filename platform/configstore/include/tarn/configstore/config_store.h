// ConfigStore: a handle on one namespace of named configuration objects (the boot-time code
// keeps files across a reboot in sGlobalNamespace), and ConfigStoreTransaction, which makes
// every store write of the calling thread between its construction and Commit() durable
// together, or not at all (rollback on destruction, and when the process dies).
// Handles and transactions belong to the thread that created them.
#pragma once

#include <memory>
#include <string>

#include "tarn/configstore/db_store.h"
#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

class ConfigStoreObject;
class ConfigStoreObjectId;

// The namespace of objects that belong to the host as a whole.
inline constexpr const char sGlobalNamespace[] = "global";

class ConfigStore {
public:
    // The handle of namespace name on the thread's connection; an empty pointer (the reason
    // logged at priority 0) when the store cannot be opened or the name is empty.
    static std::shared_ptr<ConfigStore> GetStore(const std::string& name);

    ConfigStore(std::shared_ptr<DBStore::StoreConnection> connection, std::string name);

    const std::shared_ptr<DBStore::StoreConnection>& GetConnection() const { return connection_; }

    // Stores the object's value and named attributes under its id, replacing what was there.
    void WriteObject(const std::shared_ptr<ConfigStoreObject>& object);
    // The stored object with this id, or an empty pointer.
    std::shared_ptr<ConfigStoreObject> GetObject(const ConfigStoreObjectId& id);
    // Removes the object with this id; false when there was none.
    bool RemoveObject(const ConfigStoreObjectId& id);

private:
    std::shared_ptr<DBStore::StoreConnection> connection_;
    std::string name_;
};

class ConfigStoreTransaction {
public:
    explicit ConfigStoreTransaction(const std::shared_ptr<ConfigStore>& store);
    explicit ConfigStoreTransaction(std::shared_ptr<DBStore::StoreConnection> connection);
    // For the store's own code, on a connection that outlives the transaction.
    explicit ConfigStoreTransaction(DBStore::StoreConnection& connection);
    ~ConfigStoreTransaction();
    ConfigStoreTransaction(const ConfigStoreTransaction&) = delete;
    ConfigStoreTransaction& operator=(const ConfigStoreTransaction&) = delete;

    // Makes the writes durable (or, when nested in another transaction, part of it).
    // Throws ConfigStoreException 1001 when the commit fails; the writes are then rolled back.
    void Commit();

private:
    std::shared_ptr<DBStore::StoreConnection> owner_;
    DBStore::StoreConnection& connection_;
    bool open_ = true;
};

}  // namespace TarnConfigStore

TARN_PUBLIC_END
