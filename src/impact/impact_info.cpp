#include "deradidezivizoda/impact/impact_info.h"

#include <functional>

namespace TarnConfigManager {

namespace {

// The combining step of boost::hash_combine.
void Combine(size_t& seed, const std::string& text) {
    seed ^= std::hash<std::string>()(text) + 0x9e3779b9 + (seed << 6) + (seed >> 2);
}

}  // namespace

size_t ImpactInfoHash::operator()(const ImpactInfo& info) const {
    size_t seed = 0;
    Combine(seed, info.id);
    for (const std::string& arg : info.args) {
        Combine(seed, arg);
    }
    return seed;
}

}  // namespace TarnConfigManager
