// The compliance check: runs the drift engine with CheckComplianceHandler, which turns every
// reported difference into an entry of a JSON report ("ADDS", "DELETES", "SETS") and clears
// the compliant flag. Changes nothing on the host or in the store. Caller's thread only.
#pragma once

#include <memory>
#include <string>

#include "deradidezivizoda/drift/drift_handler.h"
#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

class TaskHandle;

struct TARN_EXPORT ComplianceResult {
    bool compliant = true;
    // {"ADDS": [...], "DELETES": [...], "SETS": [...]}; each entry has "path" and, when not
    // null, "desiredValue" and "hostValue" as redacted JSON text.
    rapidjson::Document document;
};

class TARN_EXPORT CheckComplianceHandler : public DriftHandler {
public:
    // Resets result to compliant with three empty arrays; result must outlive the handler.
    explicit CheckComplianceHandler(ComplianceResult* result);
    ~CheckComplianceHandler() override;

    void Add(const Value& desired, const ObjectId& id, const Schema& schema,
             const std::string& path) override;
    void Set(const Value& desired, const Value& host, const ObjectId& id, const Schema& schema,
             const std::string& path, const Value& driftObject) override;
    void Delete(const Value& host, const ObjectId& id, const Schema& schema,
                const std::string& path) override;
    void PropertyDrift(const Value& desired, const Value& host, const Value& definition,
                       const std::string& path, ACTION action) override;

private:
    struct NamedValue {
        const char* name;
        const rapidjson::Value* value;
    };
    // Appends {"path": path, <name>: <redacted text of value>...} to the report's array,
    // leaving out values that are absent or null.
    void Append(const char* array, const std::string& path, const rapidjson::Value& definition,
                const NamedValue& first, const NamedValue& second = {nullptr, nullptr});

    ComplianceResult* result_;
    rapidjson::Document entry_;  // builds entries in the report's allocator
};

// Checks the host against desired (possibly "profile"-wrapped); reports progress 100 when
// done. Drift engine failures propagate; result then holds a partial report.
TARN_EXPORT void CheckCompliance(rapidjson::Document& desired, bool compareEmptyByProperty,
                                 ComplianceResult& result, std::shared_ptr<TaskHandle> task);

// Adds "path" to entry, allocated in report.
TARN_EXPORT void populateResult(rapidjson::Document& report, const std::string& path,
                                rapidjson::Value& entry);

}  // namespace TarnConfigManager
