#include "deradidezivizoda/apply/apply_task_generator.h"

#include "apply_task_generator_access.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "impact/drift_inputs.h"

namespace TarnConfigManager {

ApplyTaskGenerator::ApplyTaskGenerator() {
    consolidatedActionRequired = true;
    createDriftObject = true;
}

ApplyTaskGenerator::~ApplyTaskGenerator() = default;

void ApplyTaskGenerator::Add(const Value& desired, const ObjectId& id, const Schema& schema,
                             const std::string&) {
    createTask(id, desired, schema, ADD, nullptr);
}

void ApplyTaskGenerator::Set(const Value& desired, const Value&, const ObjectId& id,
                             const Schema& schema, const std::string&, const Value& driftObject) {
    createTask(id, desired, schema, SET, DriftObjectOf(id, SET, driftObject));
}

void ApplyTaskGenerator::Delete(const Value& host, const ObjectId& id, const Schema& schema,
                                const std::string&) {
    createTask(id, host, schema, DELETE, nullptr);
}

void ApplyTaskGenerator::createTask(const ObjectId& id, const Value& value, const Schema& schema,
                                    ACTION action,
                                    std::shared_ptr<TarnConfigStore::DriftObject> drift) {
    // A deleted object's value lies in the host document, which the walk drops at its end.
    auto object = viewDesired && action != DELETE
                      ? TarnConfigStore::CreateObjectView(id, value, schema, std::nullopt)
                      : TarnConfigStore::CreateObject(id, value, schema, std::nullopt);
    tasks.push_back({std::move(object), std::move(drift), kActionNames[action], nullptr});
}

std::vector<DesiredConfigInput> ApplyTaskGenerator::getTasks() const {
    return tasks;
}

std::vector<DesiredConfigInput> ApplyTaskGeneratorAccess::TakeTasks(ApplyTaskGenerator& generator) {
    return std::move(generator.tasks);
}

std::vector<DesiredConfigInput> ApplyTaskGeneratorAccess::TasksViewing(
    rapidjson::Document& document) {
    ApplyTaskGenerator generator;
    generator.viewDesired = true;
    ComputeDrift(ComparedConfiguration(document), document.GetAllocator(), generator);
    return std::move(generator.tasks);
}

std::vector<DesiredConfigInput> GenerateApplyTasks(rapidjson::Document& document) {
    ApplyTaskGenerator generator;
    ComputeDrift(ComparedConfiguration(document), document.GetAllocator(), generator);
    return ApplyTaskGeneratorAccess::TakeTasks(generator);
}

}  // namespace TarnConfigManager
