// SchemaObject: the schema of one configuration key as its schema file declares it: the
// definition (a draft-04 JSON Schema of the key's value, or of one instance of a multi-instance
// key) and the facts about the key. Immutable once built and shared through std::shared_ptr,
// so any thread may read it. The file format is described in docs/schemas.md.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/json/json.h"
#include "tarn/schemastore/schema_object_id.h"

TARN_PUBLIC_BEGIN

namespace TarnSchemaStore {

// Code of the ConfigStoreException raised for a schema file that is not valid JSON or breaks
// the format; its message starts with the file's path.
constexpr int kSchemaFileError = 1100;

// Status of the impact queries: the operation list is valid.
constexpr int kSchemaQueryOk = 0;

// Instance key name of keys whose instances are identified by their content.
extern const char kGeneratedInstanceKey[];  // "cs_generated_id"

class SchemaObject {
public:
    // Builds a key's schema from the parsed contents of its schema file and checks it. origin
    // (normally the file's path) starts every error message. Throws ConfigStoreException
    // kSchemaFileError naming origin and the offending member. fileBytes, when not 0, is what
    // the file took in the memory pool it was parsed into: the definition's own pool is made
    // that size and the definition copied once (else a first copy measures it).
    static std::shared_ptr<SchemaObject> Create(const SchemaObjectId& id,
                                                const rapidjson::Value& file,
                                                const std::string& origin, size_t fileBytes = 0);

    const SchemaObjectId& GetId() const { return id_; }
    int GetVersion() const { return version_; }

    bool IsMultiInstance() const { return multiInstance_; }
    // Name of the property that identifies an instance; kGeneratedInstanceKey for instances
    // identified by content; empty for a single-instance key.
    const std::string& GetInstanceKey() const { return instanceKey_; }
    // JSON Schema of the key's value; of one instance for a multi-instance key.
    const rapidjson::Value& GetDefinition() const { return definition_; }
    // Ids of the instances a solution creates and owns (keyed multi-instance keys only).
    const std::vector<std::string>& GetReservedInstanceIds() const { return reservedIds_; }

    // Compact text of the definition when users may read and set the key through the host
    // configuration API; empty otherwise.
    const std::string& GetUserConfigSchema() const { return userConfigSchema_; }
    // Text identifying this schema, "<component>.<group>.<key>@<version>", stored beside
    // desired objects and copied into plugin results.
    const std::string& GetSchemaText() const { return schemaText_; }

    // Replace the contents of operations with the operation names ("ADD", "SET", "DELETE")
    // after which the key needs a reboot (maintenance mode), and set propertyTriggers when
    // properties of the definition carry their own "rebootRequired"
    // ("maintenanceModeRequired") triggers. Return kSchemaQueryOk.
    int GetRebootRequiredOperations(std::vector<std::string>& operations,
                                    bool& propertyTriggers) const;
    int GetMaintenanceModeRequiredOperations(std::vector<std::string>& operations,
                                             bool& propertyTriggers) const;

    // False for keys that desired-state management leaves alone.
    bool IsIntegrated() const { return integrated_; }
    // True when the key's default configuration may be changed by the user.
    bool HasMutableDefault() const { return mutableDefault_; }
    // True when the key belongs to the SmartNIC configuration.
    bool IsSmartnic() const { return smartnic_; }
    // True when the key's values must not leave the host as telemetry (the definition's
    // root keyword "telemetryDisabled").
    bool IsTelemetryDisabled() const { return telemetryDisabled_; }

    SchemaObject(const SchemaObject&) = delete;
    SchemaObject& operator=(const SchemaObject&) = delete;

private:
    explicit SchemaObject(const SchemaObjectId& id) : id_(id) {}
    void ReadFacts(const rapidjson::Value& file, size_t fileBytes);
    void ReadInstanceFacts(const rapidjson::Value& file);
    void ReadDefinition(const rapidjson::Value& file, size_t fileBytes);

    struct ImpactFacts {
        std::vector<std::string> operations;
        bool propertyTriggers = false;
    };

    SchemaObjectId id_;
    int version_ = 1;
    bool multiInstance_ = false;
    std::string instanceKey_;
    // One chunk of the definition's own size: a store holds thousands of definitions of a few
    // KiB, and fixed chunks would keep their unused tails resident.
    std::unique_ptr<rapidjson::MemoryPoolAllocator<>> definitionPool_;
    rapidjson::Value definition_;  // in definitionPool_
    std::vector<std::string> reservedIds_;
    std::string userConfigSchema_;
    std::string schemaText_;
    ImpactFacts reboot_;
    ImpactFacts maintenance_;
    bool integrated_ = true;
    bool mutableDefault_ = false;
    bool smartnic_ = false;
    bool telemetryDisabled_ = false;
};

}  // namespace TarnSchemaStore

TARN_PUBLIC_END
