// ApplyHostAPIConfig: the immediate apply of a single-key change. Private to the subsystem.
#pragma once

#include <memory>

#include "deradidezivizoda/core/error_info.h"
#include "tarn/json/json.h"

namespace TarnConfigManager {

class TaskHandle;

// Brings the key from current to desired through its apply plugins; current is taken over
// (left empty). APPLY_PLUGIN_ABSENT (2085) for a changed object whose key has no apply
// plugin, before any plugin runs; plugin failures and aborts are returned.
ErrorInfo ApplyHostAPIConfig(rapidjson::Document& desired, rapidjson::Document& current,
                             const std::shared_ptr<TaskHandle>& task);

}  // namespace TarnConfigManager
