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

namespace TarnBench {

namespace {

constexpr int kPairGroups = 4;
constexpr int kPairKeys = 8;
constexpr int kPairInstances = 20;
constexpr int kPairProperties = 20;

// Property n of an instance: strings, integers and booleans in turn.
std::string PropertyValue(int n, unsigned value) {
    switch (n % 3) {
        case 0:
            return "\"value-" + std::to_string(value) + "-of-property\"";
        case 1:
            return std::to_string(value);
        default:
            return value % 2 ? "true" : "false";
    }
}

std::string PairInstance(const std::string& name, int properties, std::mt19937& rng, int changed) {
    std::string text = "{\"name\":\"" + name + "\"";
    for (int n = 0; n < properties; ++n) {
        unsigned value = rng() % 100000;
        if (n == changed) {
            value += 1;
        }
        text += ",\"p" + std::to_string(n) + "\":" + PropertyValue(n, value);
    }
    return text + "}";
}

}  // namespace

std::string ConfigPairKeySchema() {
    std::string properties = R"("name": {"type": "string"})";
    const char* types[] = {"string", "integer", "boolean"};
    for (int n = 0; n < kPairProperties; ++n) {
        properties += ", \"p" + std::to_string(n) + "\": {\"type\": \"" + types[n % 3] + "\"}";
    }
    return R"({"multiInstance": true, "instanceKey": "name", "definition": {"type": "object",
        "required": ["name"], "properties": {)" +
           properties + "}}}";
}

ConfigPair GenerateConfigPair(size_t targetBytes) {
    ConfigPair pair;
    std::mt19937 rng(7);
    pair.desired = "{";
    pair.host = "{";
    for (int c = 0; pair.desired.size() < targetBytes; ++c) {
        std::string component = "component" + std::to_string(c);
        pair.desired += (c ? ",\"" : "\"") + component + "\":{";
        pair.host += (c ? ",\"" : "\"") + component + "\":{";
        for (int g = 0; g < kPairGroups; ++g) {
            std::string group = "group" + std::to_string(g);
            pair.desired += (g ? ",\"" : "\"") + group + "\":{";
            pair.host += (g ? ",\"" : "\"") + group + "\":{";
            for (int k = 0; k < kPairKeys; ++k) {
                std::string key = "key" + std::to_string(k);
                pair.keyPaths.push_back(component + "/" + group + "/" + key);
                std::string desiredArray, hostArray;
                for (int i = 0; i < kPairInstances; ++i) {
                    std::string name = "instance-" + std::to_string(i);
                    int properties = 5 + static_cast<int>(rng() % 16);
                    unsigned fate = rng() % 100;
                    unsigned seed = rng();
                    std::mt19937 d(seed), h(seed);
                    std::string desired = PairInstance(name, properties, d, -1);
                    // 0-5: a property differs; 6-7: the host lacks it; 8-9: only the host has it.
                    std::string host = PairInstance(name, properties, h, fate < 6 ? 0 : -1);
                    pair.differences += fate < 10 ? 1 : 0;
                    if (fate < 6 || fate >= 8) {
                        hostArray += (hostArray.empty() ? "" : ",") + host;
                        pair.hostRows.push_back({component, group, key, name, host});
                    }
                    if (fate < 8 || fate >= 10) {
                        desiredArray += (desiredArray.empty() ? "" : ",") + desired;
                        ++pair.instances;
                    }
                }
                pair.desired += (k ? ",\"" : "\"") + key + "\":[" + desiredArray + "]";
                pair.host += (k ? ",\"" : "\"") + key + "\":[" + hostArray + "]";
            }
            pair.desired += "}";
            pair.host += "}";
        }
        pair.desired += "}";
        pair.host += "}";
    }
    pair.desired += "}";
    pair.host += "}";
    return pair;
}

}  // namespace TarnBench
