// The "format" values the validator checks: date-time (RFC 3339), email, hostname
// (RFC 1123), ipv4, ipv6, uri (an absolute URI of RFC 3986) and regex (ECMAScript syntax).
// Pure functions; any thread.
#pragma once

#include <string_view>

namespace TarnValidator {

enum class StringFormat { kUnknown, kDateTime, kEmail, kHostname, kIpv4, kIpv6, kUri, kRegex };

StringFormat StringFormatNamed(std::string_view name);

// Whether text is a valid instance of format (kUnknown accepts everything).
bool MatchesFormat(StringFormat format, std::string_view text);

}  // namespace TarnValidator
