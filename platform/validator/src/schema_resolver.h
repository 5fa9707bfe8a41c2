// SchemaResolver: finds the schema object a "$ref" names, for one compilation. It knows the
// root schema, every "id" declared in it, and the remote documents (RemoteSchemas) that
// references reach, indexed the same way when first reached. JSON pointers are read from
// the fragment after %-decoding, with ~1 for "/" and ~0 for "~". One thread.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "tarn/json/json.h"

namespace TarnValidator {

class SchemaResolver {
public:
    struct Target {
        const rapidjson::Value* schema = nullptr;
        std::string enclosingBase;  // base URI around the target, before its own "id"
    };

    explicit SchemaResolver(const rapidjson::Value& root);

    // Resolves reference, read in a schema whose base URI is base. False when nothing matches
    // or the match is not a schema object.
    bool Resolve(const std::string& base, std::string_view reference, Target& out);

    // The base URI inside schema: its "id" read against the enclosing base, when it has one.
    static std::string ScopeOf(const rapidjson::Value& schema, const std::string& enclosing);

private:
    void Index(const rapidjson::Value& document, const std::string& enclosing);
    bool FindResource(const std::string& document, Target& out);
    static bool FollowPointer(const Target& start, const std::string& pointer, Target& out);

    std::unordered_map<std::string, Target> resources_;  // absolute id -> schema
    std::unordered_set<std::string> unavailable_;        // remote documents that failed
};

}  // namespace TarnValidator
