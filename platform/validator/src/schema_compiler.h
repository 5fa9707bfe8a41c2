// CompiledSchema: a draft-04 schema compiled into SchemaNodes for one validation run, every
// "$ref" linked to its target and every union construct recognised. Compilation walks the
// schema with an explicit work list (no recursion), so deep or cyclic schemas are safe.
// Views the schema document and any remote documents, which must outlive it. One thread.
#pragma once

#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "schema_node.h"
#include "schema_resolver.h"

namespace TarnValidator {

class CompiledSchema {
public:
    // root must be a JSON object.
    explicit CompiledSchema(const rapidjson::Value& root);
    CompiledSchema(const CompiledSchema&) = delete;
    CompiledSchema& operator=(const CompiledSchema&) = delete;

    const SchemaNode& root() const { return *root_; }
    // True when some "$ref" named nothing; a later remote mapping may resolve it.
    bool HasUnresolvedReference() const { return unresolved_; }

    // Keyword compilers, reached through a table keyed by keyword name.
    struct Keyword;

private:
    struct Pending {
        SchemaNode* node;
        const rapidjson::Value* schema;
        std::string enclosingBase;
    };

    SchemaNode* NodeFor(const rapidjson::Value& schema, const std::string& enclosingBase);
    void Compile(const Pending& pending);
    void CompileRef(SchemaNode& node, const rapidjson::Value& ref);
    void FindUnion(SchemaNode& node);

    std::deque<SchemaNode> nodes_;
    std::unordered_map<const rapidjson::Value*, SchemaNode*> nodeOf_;
    std::vector<Pending> pending_;
    SchemaResolver resolver_;
    std::string scope_;  // base URI of the schema being compiled
    const SchemaNode* root_ = nullptr;
    bool unresolved_ = false;
};

}  // namespace TarnValidator
