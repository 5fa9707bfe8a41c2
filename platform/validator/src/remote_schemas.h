// RemoteSchemas: the process-wide set of schema documents a "$ref" may name by absolute URI:
// the built-in draft-04 meta-schema, and files under local folders mapped to URI prefixes.
// Nothing is ever fetched over a network. A document is loaded on first use and kept for the
// life of the process, so pointers into it stay valid. Any thread.
#pragma once

#include <string>

#include "tarn/json/json.h"

namespace TarnValidator {

// From now on, a URI that starts with prefix names the file at the rest of the URI under
// folder. A later mapping of the same prefix replaces the folder; loaded documents stay.
void MapRemoteSchemaFolder(const std::string& prefix, const std::string& folder);

// The document of uri (without fragment), loaded on first use; nullptr when no mapping
// covers it or its file does not parse.
const rapidjson::Value* FindRemoteSchema(const std::string& uri);

}  // namespace TarnValidator
