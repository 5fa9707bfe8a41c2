// What the manifest schemas cannot say about a manifest, checked for `plugins validate`:
// that its apply operations provide the task keys its changes run under, that every key it
// names has a key schema, and that its type is one a runner serves.
#pragma once

#include <string>

#include "tarn/json/json.h"

namespace Tarnctl {

// Appends to findings (the array ValidateAllPlugins builds) one finding per manifest below
// directory that conforms to its schema but fails these checks. The plugin's id comes from
// its folders below the plugin directory, or below directory when that lies elsewhere (a
// plugin tree checked before it is installed); a manifest outside the plugin directory at a
// depth that gives no id (one plugin's own folder) has its task keys checked without the id.
void AddPluginFindings(const std::string& directory, rapidjson::Document& findings);

}  // namespace Tarnctl
