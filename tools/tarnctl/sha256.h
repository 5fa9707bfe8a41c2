// Sha256Hex: the SHA-256 digest of a text as 64 lowercase hex digits, for the fingerprints of a
// saved plan (docs/tarnctl.md, "Saved plans"). Small and self-contained; any thread.
#pragma once

#include <string>

namespace Tarnctl {

std::string Sha256Hex(const std::string& data);

}  // namespace Tarnctl
