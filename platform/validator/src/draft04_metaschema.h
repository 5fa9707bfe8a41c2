// The JSON Schema draft-04 meta-schema (the schema of schemas), built in so that schemas can
// refer to it by its URI without any network access. Constant data.
#pragma once

namespace TarnValidator {

extern const char kDraft04MetaSchemaUri[];
extern const char kDraft04MetaSchemaText[];

}  // namespace TarnValidator
