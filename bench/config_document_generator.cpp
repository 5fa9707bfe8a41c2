#include "config_document_generator.h"

#include <random>

namespace TarnBench {

namespace {

std::string Instance(std::mt19937& rng, int index) {
    std::uniform_int_distribution<int> small(0, 65535);
    std::string s = "{\"name\":\"instance-" + std::to_string(index) +
                    "\",\"enabled\":" + (small(rng) % 2 ? "true" : "false") +
                    ",\"port\":" + std::to_string(small(rng)) +
                    ",\"weight\":" + std::to_string(small(rng) / 1000.0) +
                    ",\"description\":\"Server \\u00e9 " + std::to_string(small(rng)) +
                    " serves the management network\",\"addresses\":[\"10.0." +
                    std::to_string(small(rng) % 256) + "." + std::to_string(small(rng) % 256) +
                    "\",\"fe80::" + std::to_string(small(rng)) +
                    "\"],\"options\":{\"mtu\":" + std::to_string(1500 + small(rng) % 7500) +
                    ",\"tags\":[\"a\",\"b\"]}}";
    return s;
}

}  // namespace

std::string GenerateConfigDocument(size_t targetBytes) {
    std::mt19937 rng(42);
    std::string out = "{";
    for (int component = 0; out.size() < targetBytes; ++component) {
        out += (component ? ",\"" : "\"") + std::string("component") + std::to_string(component) +
               "\":{";
        for (int group = 0; group < 8; ++group) {
            out += (group ? ",\"" : "\"") + std::string("group") + std::to_string(group) + "\":{";
            for (int key = 0; key < 8; ++key) {
                out += (key ? ",\"" : "\"") + std::string("key") + std::to_string(key) + "\":";
                if (key % 2 == 0) {
                    out += Instance(rng, 0);
                    continue;
                }
                out += "[";
                for (int i = 0; i < 16; ++i) {
                    out += (i ? "," : "") + Instance(rng, i);
                }
                out += "]";
            }
            out += "}";
        }
        out += "}";
    }
    out += "}";
    return out;
}

}  // namespace TarnBench
