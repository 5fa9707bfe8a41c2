#include "tarn/schemastore/schema_object.h"

#include <algorithm>

#include "definition_check.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_copy.h"
#include "tarn/json/json_text.h"

namespace TarnSchemaStore {

const char kGeneratedInstanceKey[] = "cs_generated_id";

namespace {

// A copy of definition in a pool made for it, of one chunk. The copy allocates what parsing the
// definition allocated, so a pool the size of the parsed file holds it, with the few bytes of the
// file's other members to spare. Without that size a first copy into a scratch pool measures it.
rapidjson::Value CopyDefinition(const rapidjson::Value& definition, size_t fileBytes,
                                std::unique_ptr<rapidjson::MemoryPoolAllocator<>>& pool) {
    size_t size = fileBytes;
    if (size == 0) {
        char buffer[8192];
        rapidjson::MemoryPoolAllocator<> scratch(buffer, sizeof buffer);
        TarnConfigStore::CopyJsonValue(definition, scratch);
        size = scratch.Size();
    }
    pool = std::make_unique<rapidjson::MemoryPoolAllocator<>>(std::max<size_t>(size, 64));
    return TarnConfigStore::CopyJsonValue(definition, *pool);
}

const char* const kFileMembers[] = {
    "description",         "version",        "multiInstance",           "instanceKey",
    "definition",          "rebootRequired", "maintenanceModeRequired", "userConfig",
    "reservedInstanceIds", "integrated",     "mutableDefault",          "smartnic"};

void RejectUnknownMembers(const rapidjson::Value& file) {
    for (const auto& member : file.GetObject()) {
        const char* name = member.name.GetString();
        auto known = std::find_if(std::begin(kFileMembers), std::end(kFileMembers),
                                  [name](const char* m) { return std::string(name) == m; });
        if (known == std::end(kFileMembers)) {
            Reject(name, "is not a member of a schema file");
        }
    }
}

bool ReadBool(const rapidjson::Value& file, const char* name, bool fallback) {
    auto member = file.FindMember(name);
    if (member == file.MemberEnd()) {
        return fallback;
    }
    if (!member->value.IsBool()) {
        Reject(name, "must be true or false");
    }
    return member->value.GetBool();
}

bool Contains(const std::vector<std::string>& list, const std::string& text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

// An array of distinct strings, each accepted by check; absent reads as empty.
template <typename Check>
std::vector<std::string> ReadStringList(const rapidjson::Value& file, const char* name,
                                        const char* expected, Check check) {
    std::vector<std::string> list;
    auto member = file.FindMember(name);
    if (member == file.MemberEnd()) {
        return list;
    }
    if (!member->value.IsArray()) {
        Reject(name, std::string("must be an array of ") + expected);
    }
    for (rapidjson::SizeType i = 0; i < member->value.Size(); ++i) {
        const rapidjson::Value& element = member->value[i];
        std::string where = std::string(name) + "/" + std::to_string(i);
        if (!element.IsString() || !check(std::string(element.GetString()))) {
            Reject(where, std::string("must be one of ") + expected);
        }
        if (Contains(list, element.GetString())) {
            Reject(where, std::string("repeats \"") + element.GetString() + "\"");
        }
        list.emplace_back(element.GetString());
    }
    return list;
}

std::vector<std::string> ReadOperations(const rapidjson::Value& file, const char* name) {
    return ReadStringList(
        file, name, "the operations \"ADD\", \"SET\", \"DELETE\"",
        [](const std::string& op) { return op == "ADD" || op == "SET" || op == "DELETE"; });
}

}  // namespace

std::shared_ptr<SchemaObject> SchemaObject::Create(const SchemaObjectId& id,
                                                   const rapidjson::Value& file,
                                                   const std::string& origin, size_t fileBytes) {
    std::shared_ptr<SchemaObject> schema(new SchemaObject(id));
    try {
        if (!file.IsObject()) {
            Reject("(file)", "a schema file holds one JSON object");
        }
        schema->ReadFacts(file, fileBytes);
    } catch (const SchemaFileProblem& problem) {
        std::string message = origin + ": " + problem.what();
        TarnConfigStore::ConfigStoreException error(kSchemaFileError, message.c_str());
        error.AddArg(origin);
        error.AddArg(problem.what());
        throw error;
    }
    return schema;
}

void SchemaObject::ReadFacts(const rapidjson::Value& file, size_t fileBytes) {
    RejectUnknownMembers(file);
    auto version = file.FindMember("version");
    if (version != file.MemberEnd()) {
        if (!version->value.IsInt() || version->value.GetInt() < 1) {
            Reject("version", "must be a whole number from 1 up");
        }
        version_ = version->value.GetInt();
    }
    ReadInstanceFacts(file);
    ReadDefinition(file, fileBytes);
    integrated_ = ReadBool(file, "integrated", true);
    mutableDefault_ = ReadBool(file, "mutableDefault", false);
    smartnic_ = ReadBool(file, "smartnic", false);
    if (ReadBool(file, "userConfig", false)) {
        userConfigSchema_ = TarnConfigStore::WriteJsonText(definition_);
    }
    schemaText_ = id_.GetComponent() + "." + id_.GetGroup() + "." + id_.GetKey() + "@" +
                  std::to_string(version_);
}

void SchemaObject::ReadInstanceFacts(const rapidjson::Value& file) {
    multiInstance_ = ReadBool(file, "multiInstance", false);
    auto key = file.FindMember("instanceKey");
    if (multiInstance_) {
        if (key == file.MemberEnd() || !key->value.IsString() ||
            key->value.GetStringLength() == 0) {
            Reject("instanceKey", "a multi-instance key needs the name of its key property");
        }
        instanceKey_ = key->value.GetString();
    } else if (key != file.MemberEnd()) {
        Reject("instanceKey", "only a multi-instance key has an instance key");
    }
    reservedIds_ = ReadStringList(file, "reservedInstanceIds", "non-empty instance ids",
                                  [](const std::string& id) { return !id.empty(); });
    if (!reservedIds_.empty() && (!multiInstance_ || instanceKey_ == kGeneratedInstanceKey)) {
        Reject("reservedInstanceIds", "only a multi-instance key with a key property has them");
    }
}

void SchemaObject::ReadDefinition(const rapidjson::Value& file, size_t fileBytes) {
    auto definition = file.FindMember("definition");
    if (definition == file.MemberEnd()) {
        Reject("definition", "is missing; it holds the JSON Schema of the key's value");
    }
    DefinitionTriggers triggers = CheckDefinition(definition->value, instanceKey_);
    definition_ = CopyDefinition(definition->value, fileBytes, definitionPool_);
    telemetryDisabled_ = ReadBool(definition_, "telemetryDisabled", false);
    if (telemetryDisabled_ && !multiInstance_) {
        Reject("definition/telemetryDisabled", "only multi-instance keys are held back");
    }
    reboot_ = {ReadOperations(file, "rebootRequired"), triggers.reboot};
    maintenance_ = {ReadOperations(file, "maintenanceModeRequired"), triggers.maintenance};
    // A changed object counts for an impact through the operation list's "SET" and, once any
    // property carries triggers, only through a matching trigger of the same kind.
    const bool anyTriggers = triggers.reboot || triggers.maintenance;
    for (auto kind : {std::make_pair("rebootRequired", &reboot_),
                      std::make_pair("maintenanceModeRequired", &maintenance_)}) {
        bool listsSet = Contains(kind.second->operations, "SET");
        if (kind.second->propertyTriggers && !listsSet) {
            Reject(kind.first, "property triggers of this kind count only when it lists \"SET\"");
        }
        if (anyTriggers && listsSet && !kind.second->propertyTriggers) {
            Reject(kind.first, std::string("\"SET\" would never count: properties carry "
                                           "triggers, but none of kind \"") +
                                   kind.first + "\"");
        }
    }
}

int SchemaObject::GetRebootRequiredOperations(std::vector<std::string>& operations,
                                              bool& propertyTriggers) const {
    operations = reboot_.operations;
    propertyTriggers = reboot_.propertyTriggers;
    return kSchemaQueryOk;
}

int SchemaObject::GetMaintenanceModeRequiredOperations(std::vector<std::string>& operations,
                                                       bool& propertyTriggers) const {
    operations = maintenance_.operations;
    propertyTriggers = maintenance_.propertyTriggers;
    return kSchemaQueryOk;
}

}  // namespace TarnSchemaStore
