// What the library takes of an ApplyTaskGenerator beyond its public interface: the task list
// itself instead of a copy. Private to the library.
#pragma once

#include <vector>

#include "deradidezivizoda/apply/apply_task_generator.h"

namespace TarnConfigManager {

class ApplyTaskGeneratorAccess {
public:
    // Moves the generator's tasks out; the generator is left without tasks.
    static std::vector<DesiredConfigInput> TakeTasks(ApplyTaskGenerator& generator);
    // GenerateApplyTasks, but the objects of added and changed values view them in document
    // rather than copy them: document must outlive the tasks and stay unchanged meanwhile.
    static std::vector<DesiredConfigInput> TasksViewing(rapidjson::Document& document);
};

}  // namespace TarnConfigManager
