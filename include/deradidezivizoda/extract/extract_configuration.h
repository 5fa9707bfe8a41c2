// The exported extractions: the host's current configuration, the stored desired
// configuration and the stored SmartNIC configuration, as configuration documents
// (component -> group -> key; docs/extraction.md). Each call connects to the stores, builds
// its result and keeps nothing; any thread may call, one result per call.
#pragma once

#include <string>

#include "deradidezivizoda/export.h"
#include "tarn/json/json.h"

namespace TarnConfigManager {

// The current configuration: the SSH files are synchronised into the store first, and the
// keys of extract plugins come from the plugins. Throws 2027 for a key whose default was
// deleted or a key with a mutable default and no configuration, 2031 when an extract plugin
// fails or returns invalid objects, 2080 for a stored value that does not parse.
TARN_EXPORT rapidjson::Document ExtractCurrentConfiguration();

// The stored desired configuration as it was set (no SSH synchronisation, no plugins).
TARN_EXPORT rapidjson::Document ExtractDesiredConfiguration();

// The stored SmartNIC configuration as normalised JSON text. Throws 2027 naming
// "component/group/key" for a deleted default, 2080 for a value that does not parse.
TARN_EXPORT std::string ExtractSmartnicConfiguration();

}  // namespace TarnConfigManager
