// DriftObject: one recorded change of a configuration object: the object's id, the operation
// ("ADD", "SET" or "DELETE" as the drift engine names them) and the drift markers as JSON
// text. Immutable; shared through std::shared_ptr; any thread.
#pragma once

#include <memory>
#include <string>

#include "tarn/configstore/config_store_object_id.h"
#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

class DriftObject {
public:
    DriftObject(ConfigStoreObjectId id, std::string operation, std::string driftText);

    const ConfigStoreObjectId& GetConfigStoreObjectId() const { return id_; }
    const std::string& GetOperation() const { return operation_; }
    // The drift markers' compact JSON text.
    const std::string& GetDriftData() const { return driftText_; }

private:
    ConfigStoreObjectId id_;
    std::string operation_;
    std::string driftText_;
};

// Throws ConfigStoreException 2000 naming the id when driftText is not valid JSON.
std::shared_ptr<DriftObject> CreateDriftObject(const ConfigStoreObjectId& id,
                                               const std::string& operation,
                                               const std::string& driftText);

}  // namespace TarnConfigStore

TARN_PUBLIC_END
