// URI reference arithmetic for schema identifiers and "$ref" values: resolution of a
// reference against a base URI (RFC 3986, section 5.2) and the split into document and
// fragment. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace TarnValidator {

// The target URI of reference read against base. An empty base leaves the reference
// relative, which is how references inside a schema without "id" stay document-local.
std::string ResolveUriReference(std::string_view base, std::string_view reference);

// Splits uri at its first "#": document gets the part before, fragment the part after (empty
// when there is no "#").
void SplitUriFragment(std::string_view uri, std::string& document, std::string& fragment);

// Replaces %HH escapes by the bytes they stand for; other text is kept.
std::string PercentDecode(std::string_view text);

}  // namespace TarnValidator
