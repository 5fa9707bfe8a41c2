// Builds configuration documents of a given size for benchmarks: components of groups of
// keys, half single-instance objects, half arrays of keyed instances, with strings, integers,
// doubles, booleans and nested lists, as hosts produce them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace TarnBench {

// Compact JSON text of about targetBytes bytes.
std::string GenerateConfigDocument(size_t targetBytes);

}  // namespace TarnBench

namespace TarnBench {

// A desired document and the host's side of it, as compliance checks see them: components of
// groups of keyed multi-instance keys ("name"), instances of 5 to 20 properties. About one
// instance in ten differs: a changed property, an instance the host lacks, or one only the
// host has.
struct ConfigPair {
    std::string desired;  // compact JSON text
    std::string host;     // compact JSON text
    struct Row {
        std::string component, group, key, identifier, value;
    };
    std::vector<Row> hostRows;          // the host side as store rows, in document order
    std::vector<std::string> keyPaths;  // "component/group/key" of every key
    size_t instances = 0;               // desired instances
    size_t differences = 0;
};

// A pair whose desired text is about targetBytes long.
ConfigPair GenerateConfigPair(size_t targetBytes);

// The key schema (schema store file) of every key of a generated pair.
std::string ConfigPairKeySchema();

}  // namespace TarnBench
