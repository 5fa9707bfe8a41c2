#include "apply_host_api_config.h"

#include "apply/apply_tasks.h"
#include "deradidezivizoda/apply/apply_task_generator.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

ErrorInfo ApplyHostAPIConfig(rapidjson::Document& desired, rapidjson::Document& current,
                             const std::shared_ptr<TaskHandle>& task) {
    CSLogger::Log(3, "Remediating Tarn host to desired configuration ");
    CSLogger::Log(2, "Generating Apply Tasks");
    ApplyTaskGenerator generator;
    generator.hostDocument.emplace(std::move(current));
    if (!generator.hostDocument->IsObject()) {
        generator.hostDocument->SetObject();  // a key without current configuration
    }
    current.SetObject();
    ComputeDrift(desired, desired.GetAllocator(), generator);
    CSLogger::Log(2, "Done with Generate Apply Tasks");
    std::vector<DesiredConfigInput> tasks = generator.getTasks();
    if (tasks.empty()) {
        CSLogger::Log(1, "No tasks generated for the desired configuration.");
        return ErrorInfo();
    }
    // Unlike a whole-document apply, a single-key change that no plugin would carry out is an
    // error: the caller asked for exactly this change.
    return RunApplyTasks(tasks, "", task, false, AbsentApplyPlugin::kRefuse);
}

}  // namespace TarnConfigManager
