// Builds configuration documents of a given size for benchmarks: components of groups of
// keys, half single-instance objects, half arrays of keyed instances, with strings, integers,
// doubles, booleans and nested lists, as hosts produce them.
#pragma once

#include <cstddef>
#include <string>

namespace TarnBench {

// Compact JSON text of about targetBytes bytes.
std::string GenerateConfigDocument(size_t targetBytes);

}  // namespace TarnBench
