// TaskMap: the work of one plugin in one run: the plugin and the changed objects it must judge
// or apply, in the order the drift engine reported them. Plain value; the plugin and objects
// are shared. One thread at a time.
#pragma once

#include <memory>
#include <vector>

#include "deradidezivizoda/plugins/plugin.h"
#include "deradidezivizoda/plugins/plugin_request.h"

namespace TarnConfigManager {

struct TaskMap {
    std::shared_ptr<Plugin> plugin;
    std::vector<DesiredConfigInput> inputs;
};

}  // namespace TarnConfigManager
