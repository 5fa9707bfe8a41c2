// The configuration a user has set on the host, as a document for export (EXPORT_CONFIG) or
// for telemetry (TELEMETRY_CONFIG: only allowlisted keys, secrets replaced by a notice;
// docs/export.md). Each call reads the stores and the allowlists anew and keeps nothing; any
// thread may call, one document per call.
#pragma once

#include "deradidezivizoda/export.h"
#include "deradidezivizoda/extract/extraction_types.h"
#include "tarn/json/json.h"

namespace TarnConfigManager {

// The user configuration with keys whose configuration equals their mutable default left out,
// objects under "profile". Holds the host lock (extract plugins run). Throws what
// ExtractCurrentConfiguration throws (2027, 2031, 2080), ConfigStoreException 1082 for an
// allowlist that is not a JSON array of strings, 2000 for one that cannot be read, and the
// directory listing's std::filesystem::filesystem_error for an unreadable allowlist folder.
TARN_EXPORT rapidjson::Document ExtractUserConfiguration(DocumentType type);

// ExtractUserConfiguration(EXPORT_CONFIG) with every key value under "profile" kept as its
// normal-form text (ConfigStoreDocument::NormalizeRenderedInPlace writes such a document out),
// for ExportDocument. Library-internal, not exported.
rapidjson::Document ExtractRenderedUserConfiguration();

// The notice that stands, with identifier "id", instead of the values of a telemetry-disabled
// key.
TARN_EXPORT const char* TelemetryNoticeText();

}  // namespace TarnConfigManager
