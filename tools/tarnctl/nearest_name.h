// The name among candidates that a mistyped word most likely meant, for "did you mean ...?".
// Pure function; any thread.
#pragma once

#include <string>
#include <vector>

namespace Tarnctl {

// The candidate within a small edit distance of word (insertions, deletions, substitutions
// and swaps of neighbours, at most a third of the word and never more than 2), the nearest
// first in candidates' order; else the one candidate word is a prefix of; else empty.
std::string NearestName(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace Tarnctl
