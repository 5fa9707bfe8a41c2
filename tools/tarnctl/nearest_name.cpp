#include "nearest_name.h"

#include <algorithm>

namespace Tarnctl {

namespace {

// Edits that turn a into b, counting a swap of two neighbouring characters as one edit
// ("aplpy" is one edit from "apply").
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::string NearestName(const std::string& word, const std::vector<std::string>& candidates) {
    size_t allowed = std::min<size_t>(2, std::max<size_t>(1, word.size() / 3));
    std::string nearest;
    size_t best = allowed + 1;
    for (const std::string& candidate : candidates) {
        size_t distance = EditDistance(word, candidate);
        if (distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    if (!nearest.empty() || word.empty()) {
        return nearest;
    }
    std::vector<std::string> extensions;
    std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(extensions),
                 [&word](const std::string& name) { return name.rfind(word, 0) == 0; });
    return extensions.size() == 1 ? extensions.front() : std::string();
}

}  // namespace Tarnctl
