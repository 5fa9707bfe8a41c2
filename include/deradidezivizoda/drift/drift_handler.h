// DriftHandler: what the drift engine reports differences to. Subclasses (compliance,
// impact, apply task generation, the host configuration API) turn the four callbacks into
// their own results. A handler belongs to one computation on one thread at a time.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "deradidezivizoda/export.h"
#include "tarn/configstore/config_store_object_id.h"
#include "tarn/json/json.h"
#include "tarn/schemastore/schema_object.h"

namespace TarnConfigManager {

enum ACTION : int { SET = 0, ADD = 1, DELETE = 2 };

// "SET", "ADD", "DELETE", indexed by ACTION.
TARN_EXPORT extern const char* const kActionNames[3];

// The absence of a value on one side of a comparison.
TARN_EXPORT extern const rapidjson::Value kEmptyVal;

class TARN_EXPORT DriftHandler {
public:
    using Value = rapidjson::Value;
    using ObjectId = TarnConfigStore::ConfigStoreObjectId;
    using Schema = std::shared_ptr<TarnSchemaStore::SchemaObject>;

    DriftHandler();
    virtual void Add(const Value& desired, const ObjectId& id, const Schema& schema,
                     const std::string& path);
    virtual void Set(const Value& desired, const Value& host, const ObjectId& id,
                     const Schema& schema, const std::string& path, const Value& driftObject);
    virtual void Delete(const Value& host, const ObjectId& id, const Schema& schema,
                        const std::string& path);
    virtual void PropertyDrift(const Value& desired, const Value& host, const Value& definition,
                               const std::string& path, ACTION action);
    virtual ~DriftHandler();

    // After property-level drift of an object, also report Set for the whole object.
    bool consolidatedActionRequired = false;
    // Record drift markers and hand them to Set.
    bool createDriftObject = false;
    // Compare a single-instance key property by property even when one side is empty.
    bool compareEmptyByProperty = false;
    // For a desired instance missing on the host, ask whether it is default configuration.
    bool useDefaultInstances = true;
    // Host configuration to compare against; when empty the current one is extracted.
    std::optional<rapidjson::Document> hostDocument;
    // The handler's own document: values built in its allocator outlive the walk.
    rapidjson::Document workDocument;
};

}  // namespace TarnConfigManager
