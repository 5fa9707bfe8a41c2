#include "instance_labels.h"

#include <cstdlib>
#include <sstream>
#include <vector>

#include "tarn/schemastore/schema_store.h"

namespace Tarnctl {

namespace {

const char kGeneratedId[] = "cs_generated_id";

std::vector<std::string> Segments(const std::string& path) {
    std::vector<std::string> segments;
    std::istringstream in(path);
    std::string segment;
    while (std::getline(in, segment, '/')) {
        if (!segment.empty()) {
            segments.push_back(segment);
        }
    }
    return segments;
}

const rapidjson::Value* Member(const rapidjson::Value* value, const std::string& name) {
    if (!value || !value->IsObject()) {
        return nullptr;
    }
    auto found = value->FindMember(rapidjson::StringRef(name.c_str(), name.size()));
    return found == value->MemberEnd() ? nullptr : &found->value;
}

const rapidjson::Value* Element(const rapidjson::Value* array, const std::string& index) {
    char* end = nullptr;
    unsigned long position = std::strtoul(index.c_str(), &end, 10);
    if (!array || !array->IsArray() || *end != '\0' || position >= array->Size()) {
        return nullptr;
    }
    return &(*array)[static_cast<rapidjson::SizeType>(position)];
}

// "<array>/<index>: <property>=<value>" when element carries the string property.
void AddLabel(std::string& labels, const std::string& array, const std::string& index,
              const rapidjson::Value* element, const std::string& property) {
    const rapidjson::Value* key = Member(element, property);
    if (property.empty() || property == kGeneratedId || !key || !key->IsString()) {
        return;
    }
    labels += (labels.empty() ? "" : ", ") + array + "/" + index + ": " + property + "=" +
              std::string(key->GetString(), key->GetStringLength());
}

}  // namespace

std::string InstanceLabels(const std::string& path, const rapidjson::Value& desired) {
    std::vector<std::string> segments = Segments(path);
    if (segments.size() < 4) {
        return "";
    }
    std::shared_ptr<TarnSchemaStore::SchemaObject> schema;
    try {
        schema = TarnSchemaStore::GetSchema(segments[0], segments[1], segments[2],
                                            TarnSchemaStore::SchemaStore::GetStore());
    } catch (const std::exception&) {
        return "";
    }
    if (!schema) {
        return "";
    }
    const rapidjson::Value* value =
        Member(Member(Member(&desired, segments[0]), segments[1]), segments[2]);
    const rapidjson::Value* definition = &schema->GetDefinition();
    std::string labels;
    size_t next = 3;
    // An element the path ends at needs no label: its value is printed whole.
    if (schema->IsMultiInstance()) {
        value = Element(value, segments[3]);
        if (segments.size() > 4) {
            AddLabel(labels, segments[2], segments[3], value, schema->GetInstanceKey());
        }
        next = 4;
    }
    for (size_t i = next; i < segments.size() && value && definition; ++i) {
        if (value->IsArray()) {
            const rapidjson::Value* instanceId = Member(definition, "instanceId");
            value = Element(value, segments[i]);
            if (instanceId && instanceId->IsString() && i + 1 < segments.size()) {
                AddLabel(labels, segments[i - 1], segments[i], value, instanceId->GetString());
            }
            definition = Member(definition, "items");
        } else {
            value = Member(value, segments[i]);
            definition = Member(Member(definition, "properties"), segments[i]);
        }
    }
    return labels;
}

}  // namespace Tarnctl
