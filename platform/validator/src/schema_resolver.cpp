#include "schema_resolver.h"

#include <utility>
#include <vector>

#include "remote_schemas.h"
#include "uri_reference.h"

namespace TarnValidator {
namespace {

const rapidjson::Value* Member(const rapidjson::Value& object, const char* name) {
    auto found = object.FindMember(name);
    return found == object.MemberEnd() ? nullptr : &found->value;
}

// Calls visit for every subschema position directly inside schema.
template <typename Visit>
void ForEachSubschema(const rapidjson::Value& schema, Visit&& visit) {
    const auto visitObject = [&](const rapidjson::Value* value) {
        if (value && value->IsObject()) {
            visit(*value);
        }
    };
    const auto visitArray = [&](const rapidjson::Value* value) {
        if (value && value->IsArray()) {
            for (const auto& element : value->GetArray()) {
                visitObject(&element);
            }
        }
    };
    for (const char* keyword : {"definitions", "properties", "patternProperties", "dependencies"}) {
        const rapidjson::Value* map = Member(schema, keyword);
        if (map && map->IsObject()) {
            for (const auto& member : map->GetObject()) {
                visitObject(&member.value);
            }
        }
    }
    for (const char* keyword : {"additionalItems", "additionalProperties", "not", "items"}) {
        visitObject(Member(schema, keyword));
    }
    for (const char* keyword : {"items", "allOf", "anyOf", "oneOf"}) {
        visitArray(Member(schema, keyword));
    }
}

// The key under which a resolved identifier is found: the URI without an empty fragment.
std::string ResourceKey(const std::string& uri) {
    std::string document;
    std::string fragment;
    SplitUriFragment(uri, document, fragment);
    return fragment.empty() ? document : uri;
}

}  // namespace

SchemaResolver::SchemaResolver(const rapidjson::Value& root) {
    Index(root, std::string());
    resources_.emplace(std::string(), Target{&root, std::string()});
}

std::string SchemaResolver::ScopeOf(const rapidjson::Value& schema, const std::string& enclosing) {
    if (!schema.IsObject()) {
        return enclosing;
    }
    const rapidjson::Value* id = Member(schema, "id");
    return id && id->IsString() ? ResolveUriReference(enclosing, id->GetString()) : enclosing;
}

void SchemaResolver::Index(const rapidjson::Value& document, const std::string& enclosing) {
    std::vector<std::pair<const rapidjson::Value*, std::string>> pending;
    pending.emplace_back(&document, enclosing);
    while (!pending.empty()) {
        auto [schema, around] = std::move(pending.back());
        pending.pop_back();
        const rapidjson::Value* id = Member(*schema, "id");
        std::string scope = ScopeOf(*schema, around);
        if (id && id->IsString()) {
            resources_.emplace(ResourceKey(scope), Target{schema, around});
        }
        if (Member(*schema, "$ref")) {
            continue;  // a reference replaces its object, "id"s below it included
        }
        ForEachSubschema(
            *schema, [&](const rapidjson::Value& child) { pending.emplace_back(&child, scope); });
    }
}

bool SchemaResolver::FindResource(const std::string& document, Target& out) {
    auto found = resources_.find(document);
    if (found == resources_.end()) {
        if (unavailable_.count(document)) {
            return false;
        }
        const rapidjson::Value* remote = FindRemoteSchema(document);
        if (!remote || !remote->IsObject()) {
            unavailable_.insert(document);
            return false;
        }
        Index(*remote, document);
        found = resources_.emplace(document, Target{remote, document}).first;
    }
    out = found->second;
    return true;
}

bool SchemaResolver::Resolve(const std::string& base, std::string_view reference, Target& out) {
    std::string document;
    std::string fragment;
    SplitUriFragment(ResolveUriReference(base, reference), document, fragment);
    std::string pointer = PercentDecode(fragment);
    if (!pointer.empty() && pointer[0] != '/') {
        // A plain-name fragment names a schema by its "id".
        auto found = resources_.find(document + "#" + fragment);
        if (found == resources_.end()) {
            return false;
        }
        out = found->second;
        return true;
    }
    Target resource;
    return FindResource(document, resource) && FollowPointer(resource, pointer, out);
}

bool SchemaResolver::FollowPointer(const Target& start, const std::string& pointer, Target& out) {
    const rapidjson::Value* current = start.schema;
    std::string base = start.enclosingBase;
    size_t pos = 0;
    while (pos < pointer.size()) {
        size_t end = pointer.find('/', pos + 1);
        std::string token = pointer.substr(pos + 1, end == std::string::npos ? end : end - pos - 1);
        pos = end == std::string::npos ? pointer.size() : end;
        for (size_t tilde = token.find('~'); tilde != std::string::npos;
             tilde = token.find('~', tilde + 1)) {
            if (tilde + 1 < token.size() && (token[tilde + 1] == '0' || token[tilde + 1] == '1')) {
                token.replace(tilde, 2, token[tilde + 1] == '0' ? "~" : "/");
            }
        }
        base = ScopeOf(*current, base);
        if (current->IsObject()) {
            auto found = current->FindMember(token);
            current = found == current->MemberEnd() ? nullptr : &found->value;
        } else if (current->IsArray() && !token.empty() &&
                   token.find_first_not_of("0123456789") == std::string::npos &&
                   (token == "0" || token[0] != '0') && token.size() < 10 &&
                   std::stoul(token) < current->Size()) {
            current = &(*current)[static_cast<rapidjson::SizeType>(std::stoul(token))];
        } else {
            current = nullptr;
        }
        if (!current) {
            return false;
        }
    }
    out = Target{current, base};
    return current->IsObject();
}

}  // namespace TarnValidator
