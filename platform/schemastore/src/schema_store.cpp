#include "tarn/schemastore/schema_store.h"

#include <mutex>
#include <utility>
#include <vector>

#include "schema_folder.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace TarnSchemaStore {

namespace {

// The one loaded generation of the schema folder, the listing it was loaded from and the
// watch that tells when it may be stale.
struct CurrentGeneration {
    std::mutex mutex;
    std::vector<SchemaFileStamp> stamps;
    FolderWatch watch;
    std::shared_ptr<SchemaStore> store;
};

CurrentGeneration& Current() {
    static CurrentGeneration current;
    return current;
}

template <typename Wanted>
std::unordered_set<SchemaObjectId> KeysWhere(const SchemaCache& cache, Wanted wanted) {
    std::unordered_set<SchemaObjectId> keys;
    for (const auto& entry : cache.GetSchemas()) {
        if (wanted(*entry.second)) {
            keys.insert(entry.first);
        }
    }
    return keys;
}

}  // namespace

std::shared_ptr<SchemaStore> SchemaStore::GetStore() {
    CurrentGeneration& current = Current();
    std::lock_guard<std::mutex> lock(current.mutex);
    if (current.store && !current.watch.MayHaveChanged()) {
        return current.store;
    }
    // A watched folder only gets here after a change; an unwatched one is compared file by
    // file with the listing the store was loaded from.
    const bool changeSeen = current.watch.IsWatching();
    current.watch.Restart();
    SchemaFolderListing listing = ListSchemaFolder(TarnPaths::kSchemaDir, &current.watch);
    if (!listing.available) {
        CSLogger::Log(CSLogger::kError, "Schema folder %s is unavailable: %s",
                      TarnPaths::kSchemaDir, listing.failure.c_str());
        current.store.reset();
        current.stamps.clear();
        return nullptr;
    }
    if (!current.store || changeSeen || current.stamps != listing.stamps) {
        current.store = std::make_shared<SchemaStore>(LoadSchemaFolder(listing));
        current.stamps = std::move(listing.stamps);
    }
    return current.store;
}

std::shared_ptr<const SchemaCache> SchemaStore::GetCache() {
    std::shared_ptr<SchemaStore> store = GetStore();
    return store ? store->cache_ : std::make_shared<const SchemaCache>();
}

SchemaStore::SchemaStore(std::shared_ptr<const SchemaCache> cache) : cache_(std::move(cache)) {}

std::shared_ptr<SchemaObject> SchemaStore::GetSchema(const SchemaObjectId& id) const {
    return cache_->Find(id);
}

std::shared_ptr<SchemaObject> SchemaStore::GetSchema(const std::string& component,
                                                     const std::string& group,
                                                     const std::string& key) const {
    return cache_->Find(SchemaObjectId(component, group, key));
}

std::string SchemaStore::GetSchemaText(const std::string& component, const std::string& group,
                                       const std::string& key) const {
    std::shared_ptr<SchemaObject> schema = GetSchema(component, group, key);
    return schema ? schema->GetSchemaText() : std::string();
}

std::unordered_set<SchemaObjectId> SchemaStore::GetNotIntegratedKeys() const {
    return KeysWhere(*cache_, [](const SchemaObject& schema) { return !schema.IsIntegrated(); });
}

std::unordered_set<SchemaObjectId> SchemaStore::GetMutableDefaultKeys(bool smartnic) const {
    return KeysWhere(*cache_, [smartnic](const SchemaObject& schema) {
        return schema.HasMutableDefault() && schema.IsSmartnic() == smartnic;
    });
}

std::shared_ptr<SchemaObject> GetSchema(const std::string& component, const std::string& group,
                                        const std::string& key,
                                        const std::shared_ptr<SchemaStore>& store) {
    return store ? store->GetSchema(component, group, key) : nullptr;
}

std::shared_ptr<SchemaObject> GetSchema(const SchemaObjectId& id,
                                        const std::shared_ptr<SchemaStore>& store) {
    return store ? store->GetSchema(id) : nullptr;
}

}  // namespace TarnSchemaStore
