#include "tarn/configstore/drift_object.h"

#include "store_json.h"

namespace TarnConfigStore {

DriftObject::DriftObject(ConfigStoreObjectId id, std::string operation, std::string driftText)
    : id_(std::move(id)), operation_(std::move(operation)), driftText_(std::move(driftText)) {}

std::shared_ptr<DriftObject> CreateDriftObject(const ConfigStoreObjectId& id,
                                               const std::string& operation,
                                               const std::string& driftText) {
    return std::make_shared<DriftObject>(id, operation,
                                         CompactStoreJson(driftText, "the drift of ", id));
}

}  // namespace TarnConfigStore
