// Apply task generation: ApplyTaskGenerator is the drift handler that turns every changed
// object into one apply task (the object, its drift markers for a change, the operation name),
// in the order the drift engine reports them. One drift computation on one thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/drift/drift_handler.h"
#include "deradidezivizoda/export.h"
#include "deradidezivizoda/plugins/plugin_request.h"

namespace TarnConfigManager {

class TARN_EXPORT ApplyTaskGenerator : public DriftHandler {
public:
    ApplyTaskGenerator();
    ~ApplyTaskGenerator() override;

    // An added object's task carries the desired value, a deleted object's the host's value.
    void Add(const Value& desired, const ObjectId& id, const Schema& schema,
             const std::string& path) override;
    // Always a SET task with the desired value; drift markers with members become its drift
    // object. Markers that are neither null nor an object: ConfigStoreException 1082.
    void Set(const Value& desired, const Value& host, const ObjectId& id, const Schema& schema,
             const std::string& path, const Value& driftObject) override;
    void Delete(const Value& host, const ObjectId& id, const Schema& schema,
                const std::string& path) override;

    void createTask(const ObjectId& id, const Value& value, const Schema& schema, ACTION action,
                    std::shared_ptr<TarnConfigStore::DriftObject> drift);
    // A copy of the tasks.
    std::vector<DesiredConfigInput> getTasks() const;

private:
    friend class ApplyTaskGeneratorAccess;
    std::vector<DesiredConfigInput> tasks;
    // Added and changed objects view their desired value in the walked document instead of
    // copying it (the library's own tasks, used while that document lives).
    bool viewDesired = false;
};

// One task per object that differs between document (possibly "profile"-wrapped) and the
// host; empty when the host matches. 1082 for a document that is not an object.
TARN_EXPORT std::vector<DesiredConfigInput> GenerateApplyTasks(rapidjson::Document& document);

}  // namespace TarnConfigManager
