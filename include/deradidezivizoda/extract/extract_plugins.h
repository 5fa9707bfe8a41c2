// The extract plugins' part of the current configuration: the keys that live outside the
// configuration store are asked of their extract plugins, and the objects the plugins return
// take the place of the store's rows of those keys. Runs the plugins one after another on the
// caller's thread.
#pragma once

#include <memory>

#include "deradidezivizoda/export.h"
#include "deradidezivizoda/extract/extraction_types.h"
#include "tarn/configstore/store_rows.h"

namespace TarnConfigManager {

// Runs every extract plugin for the keys it serves. ConfigManagerException 2031 with the
// plugin id when a plugin reports an error; after all plugins ran, 2031 with the ids (joined
// by ",") of those that returned objects failing their key's schema.
TARN_EXPORT std::shared_ptr<ExtractionData> RunExtractPlugins();

// Removes from rows every row of a key in result's key set (the others keep their order) and
// appends result's rows.
TARN_EXPORT void MergeExtractedConfig(RowList& rows, const std::shared_ptr<ExtractionData>& result);

}  // namespace TarnConfigManager
