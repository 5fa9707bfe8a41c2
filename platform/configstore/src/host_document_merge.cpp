// The per-host merge of multi-host configuration documents.
#include "tarn/configstore/host_document_merge.h"

#include <algorithm>

#include "schema_lookup.h"
#include "store_json.h"
#include "tarn/configstore/config_store_document.h"

namespace ConfigStoreDocument {

namespace {

using TarnConfigStore::ThrowDataError;

const char kProfile[] = "profile";
const char kHostSpecific[] = "host-specific";
const char kHostOverride[] = "host-override";
const char kGeneratedId[] = "cs_generated_id";

// "host-specific" sections add keys and instances, replacing those the view already has;
// "host-override" sections change the values the view already has, member by member.
enum class SectionKind { kAdd, kOverride };

std::string NameOf(const rapidjson::Value& name) {
    return std::string(name.GetString(), name.GetStringLength());
}

// Sets in target every member source sets, descending into objects both have; anything that
// is not an object on both sides is replaced as a whole.
void OverrideValue(rapidjson::Value& target, const rapidjson::Value& source, Allocator& allocator) {
    if (!target.IsObject() || !source.IsObject()) {
        target.CopyFrom(source, allocator);
        return;
    }
    for (const auto& member : source.GetObject()) {
        auto found = target.FindMember(member.name);
        if (found == target.MemberEnd()) {
            target.AddMember(rapidjson::Value(member.name, allocator),
                             rapidjson::Value(member.value, allocator), allocator);
        } else {
            OverrideValue(found->value, member.value, allocator);
        }
    }
}

// The key's facts the merge of its value needs.
struct KeyFacts {
    bool multiInstance = false;
    std::string instanceKey;
    const rapidjson::Value* itemSchema = nullptr;
};

// Whether two instances are the same instance: equal identifying property, or for instances
// identified by content, equal configuration.
bool SameInstance(const rapidjson::Value& a, const rapidjson::Value& b, const KeyFacts& facts) {
    if (!a.IsObject() || !b.IsObject()) {
        return false;
    }
    if (facts.instanceKey == kGeneratedId) {
        return IsEqualValue(a, b, *facts.itemSchema);
    }
    auto idA = a.FindMember(facts.instanceKey);
    auto idB = b.FindMember(facts.instanceKey);
    return idA != a.MemberEnd() && idB != b.MemberEnd() && idA->value.IsString() &&
           idA->value == idB->value;
}

void MergeInstances(rapidjson::Value& instances, const rapidjson::Value& incoming, SectionKind kind,
                    const KeyFacts& facts, Allocator& allocator) {
    for (const auto& instance : incoming.GetArray()) {
        rapidjson::Value* match = nullptr;
        for (auto& existing : instances.GetArray()) {
            if (SameInstance(existing, instance, facts)) {
                match = &existing;
                break;
            }
        }
        if (!match) {
            instances.PushBack(rapidjson::Value(instance, allocator), allocator);
        } else if (kind == SectionKind::kAdd) {
            match->CopyFrom(instance, allocator);
        } else {
            OverrideValue(*match, instance, allocator);
        }
    }
}

void ApplyKey(rapidjson::Value& group, const rapidjson::Value& key, const rapidjson::Value& value,
              SectionKind kind, const KeyFacts& facts, Allocator& allocator) {
    auto found = group.FindMember(key);
    if (found == group.MemberEnd()) {
        group.AddMember(rapidjson::Value(key, allocator), rapidjson::Value(value, allocator),
                        allocator);
    } else if (facts.multiInstance && found->value.IsArray() && value.IsArray()) {
        MergeInstances(found->value, value, kind, facts, allocator);
    } else if (kind == SectionKind::kAdd) {
        found->value.CopyFrom(value, allocator);
    } else {
        OverrideValue(found->value, value, allocator);
    }
}

const rapidjson::Value& ObjectAt(const rapidjson::Value& value, const std::string& place) {
    if (!value.IsObject()) {
        ThrowDataError(place + " is not an object");
    }
    return value;
}

// parent[name] of the merged profile as an object, created when missing.
rapidjson::Value& ProfileLevel(rapidjson::Value& parent, const rapidjson::Value& name,
                               const std::string& place, Allocator& allocator) {
    auto found = parent.FindMember(name);
    if (found == parent.MemberEnd()) {
        parent.AddMember(rapidjson::Value(name, allocator),
                         rapidjson::Value(rapidjson::kObjectType), allocator);
        return (parent.MemberEnd() - 1)->value;
    }
    if (!found->value.IsObject()) {
        ThrowDataError(place + " is not an object");
    }
    return found->value;
}

void ApplySection(rapidjson::Value& profile, const rapidjson::Value& section,
                  const std::string& place, SectionKind kind,
                  const SchemaMergeMetadataProvider& provider, Allocator& allocator) {
    for (const auto& component : ObjectAt(section, place).GetObject()) {
        const std::string componentName = NameOf(component.name);
        const std::string componentPlace = "/" + componentName;
        rapidjson::Value& targetComponent =
            ProfileLevel(profile, component.name, "/profile" + componentPlace, allocator);
        for (const auto& group : ObjectAt(component.value, place + componentPlace).GetObject()) {
            const std::string groupName = NameOf(group.name);
            const std::string groupPlace = componentPlace + "/" + groupName;
            rapidjson::Value& targetGroup =
                ProfileLevel(targetComponent, group.name, "/profile" + groupPlace, allocator);
            for (const auto& key : ObjectAt(group.value, place + groupPlace).GetObject()) {
                const std::string keyName = NameOf(key.name);
                KeyFacts facts;
                facts.multiInstance = provider.IsMultiInstance(componentName, groupName, keyName);
                facts.instanceKey = provider.GetInstanceKey(componentName, groupName, keyName);
                facts.itemSchema = &SchemaMember(
                    provider.GetKeySchema(componentName, groupName, keyName), "items");
                ApplyKey(targetGroup, key.name, key.value, kind, facts, allocator);
            }
        }
    }
}

// Applies, in member order, every section of sections member name that designates hostId.
void ApplySections(rapidjson::Value& profile, const rapidjson::Document& document, const char* name,
                   SectionKind kind, const std::string& hostId,
                   const SchemaMergeMetadataProvider& provider, Allocator& allocator) {
    auto sections = document.FindMember(name);
    if (sections == document.MemberEnd() || !sections->value.IsObject()) {
        return;
    }
    for (const auto& section : sections->value.GetObject()) {
        if (HostIdMatches(NameOf(section.name), hostId)) {
            const std::string place = std::string("/") + name + "/" + NameOf(section.name);
            ApplySection(profile, section.value, place, kind, provider, allocator);
        }
    }
}

}  // namespace

SchemaMergeMetadataProvider::SchemaMergeMetadataProvider(const rapidjson::Value& schemaDocument)
    : schema_(schemaDocument) {}

const rapidjson::Value& SchemaMergeMetadataProvider::GetKeySchema(const std::string& component,
                                                                  const std::string& group,
                                                                  const std::string& key) const {
    const rapidjson::Value* level = &schema_;
    for (const std::string* name : {&component, &group, &key}) {
        level = &SchemaMember(SchemaMember(*level, "properties"), name->c_str());
    }
    return *level;
}

bool SchemaMergeMetadataProvider::IsMultiInstance(const std::string& component,
                                                  const std::string& group,
                                                  const std::string& key) const {
    const rapidjson::Value& type = SchemaMember(GetKeySchema(component, group, key), "type");
    return type.IsString() && type == "array";
}

std::string SchemaMergeMetadataProvider::GetInstanceKey(const std::string& component,
                                                        const std::string& group,
                                                        const std::string& key) const {
    if (!IsMultiInstance(component, group, key)) {
        return std::string();
    }
    const rapidjson::Value& id = SchemaMember(GetKeySchema(component, group, key), "instanceId");
    return id.IsString() ? NameOf(id) : std::string(kGeneratedId);
}

bool HostIdMatches(const std::string& sectionName, const std::string& hostId) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(sectionName.begin(), sectionName.end(), hostId.begin(), hostId.end(),
                      [&](char a, char b) { return lower(a) == lower(b); });
}

void GetDocumentForHost(rapidjson::Document& document, const std::string& hostId,
                        const SchemaMergeMetadataProvider& provider) {
    if (!document.IsObject()) {
        ThrowDataError("The document is not an object");
    }
    auto profile = document.FindMember(kProfile);
    if (profile == document.MemberEnd()) {
        return;
    }
    Allocator& allocator = document.GetAllocator();
    rapidjson::Value merged(ObjectAt(profile->value, "/profile"), allocator);
    ApplySections(merged, document, kHostSpecific, SectionKind::kAdd, hostId, provider, allocator);
    ApplySections(merged, document, kHostOverride, SectionKind::kOverride, hostId, provider,
                  allocator);
    profile->value = merged;
    for (const char* name : {kHostSpecific, kHostOverride}) {
        auto section = document.FindMember(name);
        if (section != document.MemberEnd()) {
            document.EraseMember(section);
        }
    }
}

void SplitDocument(const rapidjson::Value& schema, const std::string& hostUuid,
                   rapidjson::Document& document) {
    if (document.IsObject() && !document.HasMember(kProfile)) {
        document.AddMember(kProfile, rapidjson::Value(rapidjson::kObjectType),
                           document.GetAllocator());
    }
    // Without host sections the merge would only copy the profile onto itself.
    if (document.IsObject() && !document.HasMember(kHostSpecific) &&
        !document.HasMember(kHostOverride)) {
        return;
    }
    GetDocumentForHost(document, hostUuid, SchemaMergeMetadataProvider(schema));
}

}  // namespace ConfigStoreDocument
