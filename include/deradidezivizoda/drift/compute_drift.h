// The drift engine: walks a desired configuration document against the host's, key by key,
// with each key's schema, and reports every difference to a DriftHandler: additions and
// changes of every desired key first, then keys only the host has. Runs on the caller's
// thread; keeps nothing between calls.
#pragma once

#include <memory>

#include "deradidezivizoda/drift/drift_handler.h"
#include "deradidezivizoda/export.h"
#include "tarn/configstore/db_store.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

// desired may be wrapped in "profile"; allocator owns desired (the walk may add generated
// instance ids to it). SCHEMA_STORE_ERROR, SCHEMA_NOT_FOUND, 1082 for a wrongly shaped
// document; the handler keeps the callbacks made before a failure.
TARN_EXPORT void ComputeDrift(rapidjson::Value& desired,
                              rapidjson::MemoryPoolAllocator<>& allocator, DriftHandler& handler);

// One pass of the walk: left's keys against right's. The forward pass (reverse false)
// reports additions and changes, the reverse pass keys only the host has.
TARN_EXPORT void computeComponents(rapidjson::Value& left, const rapidjson::Value& right,
                                   rapidjson::MemoryPoolAllocator<>& allocator,
                                   const std::shared_ptr<TarnSchemaStore::SchemaStore>& schemas,
                                   DriftHandler& handler,
                                   const std::shared_ptr<DBStore::StoreConnection>& connection,
                                   bool reverse);

}  // namespace TarnConfigManager
