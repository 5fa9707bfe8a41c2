// ValidationErrorInfo (one invalid path and its messages) and ValidationResult (the per-path
// errors and the run's pluginErr): the records in which Validate and the validation plugins
// report invalid configuration. They are the plugin-support library's records, so a plugin's
// answer and the library's result are one type. Plain values; one thread at a time.
#pragma once

#include "tarn/pluginsupport/validation_plugin_result.h"

namespace TarnConfigManager {

// Valid when errors is empty and pluginErr.id is empty; Serialize() gives its JSON form.
using ValidationResult = ValidationPluginResult;

}  // namespace TarnConfigManager
