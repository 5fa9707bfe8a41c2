// Document export: the host's user configuration as one self-describing document, its
// configuration under "profile" and the identity and kernel level of the host it came from
// under "metadata"/"reference_host" (docs/export.md). Nothing is kept between calls; any
// thread may call.
#pragma once

#include <string>

#include "deradidezivizoda/export.h"
#include "tarn/json/json.h"

namespace TarnConfigManager {

// The export view as normalised JSON text: a desired document for the host it came from.
// Library exceptions of the extraction pass unchanged (2027, 2031, 2080, 1082); any other
// std::exception becomes ConfigManagerException 3000 "ExportDocument failed: <what>".
TARN_EXPORT std::string ExportDocument();

// The same for the telemetry view (only allowlisted keys, no secrets), with the prefix
// "ExportDocumentTelemetry failed: ".
TARN_EXPORT std::string ExportDocumentTelemetry();

// Sets "/metadata/reference_host/{uuid,build,version,patch,update}" of document to hostUuid and
// the running kernel's version texts, creating what is missing and replacing what is there.
// std::runtime_error when the kernel version cannot be read.
TARN_EXPORT void AddReferenceHost(const std::string& hostUuid, rapidjson::Document& document);

}  // namespace TarnConfigManager
