// GenerateHostDocumentSchema: the JSON schema against which a host's desired document is
// validated: its "profile" (or the whole document when it has none) and the "host-specific"
// and "host-override" sections addressed to this host. Reentrant; the caller owns the result.
#pragma once

#include <boost/variant.hpp>
#include <vector>

#include "deradidezivizoda/export.h"
#include "deradidezivizoda/validation/validation_result.h"

namespace TarnConfigManager {

// Alternative 0: the schema document; alternative 1: the errors met while generating it
// (keys without a schema, levels that are not objects), one entry per path. Never both.
using HostDocumentSchema = boost::variant<rapidjson::Document, std::vector<ValidationErrorInfo>>;

// document must be a JSON object (otherwise ConfigStoreException 1082); schema store and
// host identity failures pass through.
TARN_EXPORT HostDocumentSchema GenerateHostDocumentSchema(const rapidjson::Value& document);

}  // namespace TarnConfigManager
