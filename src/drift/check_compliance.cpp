#include "deradidezivizoda/drift/check_compliance.h"

#include <cstring>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

// Property drift below this path is the installer's business, never a compliance finding.
constexpr char kInstallerPath[] = "/tarn/system/installer";

const char* ArrayOf(ACTION action) {
    switch (action) {
        case ADD:
            return "ADDS";
        case DELETE:
            return "DELETES";
        default:
            return "SETS";
    }
}

bool IsObjectTyped(const rapidjson::Value& definition) {
    const rapidjson::Value* type = &definition["type"];
    if (std::strcmp(type->GetString(), "array") == 0) {
        type = &definition["items"]["type"];
    }
    return std::strcmp(type->GetString(), "object") == 0;
}

}  // namespace

void populateResult(rapidjson::Document& report, const std::string& path, rapidjson::Value& entry) {
    entry.AddMember("path",
                    rapidjson::Value(path.data(), static_cast<rapidjson::SizeType>(path.size()),
                                     report.GetAllocator()),
                    report.GetAllocator());
}

CheckComplianceHandler::CheckComplianceHandler(ComplianceResult* result)
    : result_(result), entry_(&result->document.GetAllocator()) {
    result_->compliant = true;
    rapidjson::Document& report = result_->document;
    report.SetObject();
    for (const char* name : {"ADDS", "DELETES", "SETS"}) {
        rapidjson::Value array(rapidjson::kArrayType);
        AddMember(&report, &report, name, array);
    }
}

CheckComplianceHandler::~CheckComplianceHandler() = default;

// An entry is built through the report's own SAX interface so that its members are allocated
// at their count: an object grown by AddMember reserves room for 16 members, and with one
// entry per finding most of the report's memory would be that unused room.
void CheckComplianceHandler::Append(const char* array, const std::string& path,
                                    const rapidjson::Value& definition, const NamedValue& first,
                                    const NamedValue& second) {
    auto build = [&](rapidjson::Document& entry) {
        entry.StartObject();
        entry.Key("path", 4, false);
        entry.String(path.data(), static_cast<rapidjson::SizeType>(path.size()), true);
        rapidjson::SizeType members = 1;
        for (const NamedValue* named : {&first, &second}) {
            if (named->value && !named->value->IsNull()) {
                std::string text =
                    ConfigStoreDocument::RedactAndSerializeValue(definition, *named->value);
                entry.Key(named->name, static_cast<rapidjson::SizeType>(std::strlen(named->name)),
                          false);
                entry.String(text.data(), static_cast<rapidjson::SizeType>(text.size()), true);
                ++members;
            }
        }
        return entry.EndObject(members);
    };
    entry_.Populate(build);
    result_->document[array].PushBack(entry_.Move(), result_->document.GetAllocator());
}

void CheckComplianceHandler::Add(const Value& desired, const ObjectId&, const Schema& schema,
                                 const std::string& path) {
    result_->compliant = false;
    Append("ADDS", path, schema->GetDefinition(), {"desiredValue", &desired});
    CSLogger::Log(2, "ADD drift detected at %s", path.c_str());
}

void CheckComplianceHandler::Set(const Value& desired, const Value& host, const ObjectId&,
                                 const Schema& schema, const std::string& path, const Value&) {
    result_->compliant = false;
    Append("ADDS", path, schema->GetDefinition(), {"hostValue", &host}, {"desiredValue", &desired});
    CSLogger::Log(2, "SET drift detected at %s", path.c_str());
}

void CheckComplianceHandler::Delete(const Value& host, const ObjectId&, const Schema& schema,
                                    const std::string& path) {
    result_->compliant = false;
    Append("DELETES", path, schema->GetDefinition(), {"hostValue", &host});
    CSLogger::Log(2, "DELETE drift detected at %s", path.c_str());
}

void CheckComplianceHandler::PropertyDrift(const Value& desired, const Value& host,
                                           const Value& definition, const std::string& path,
                                           ACTION action) {
    if (path.find(kInstallerPath) != std::string::npos) {
        return;
    }
    CSLogger::Log(2, "Property-level drift detected at %s", path.c_str());
    result_->compliant = false;
    if (!IsObjectTyped(definition)) {
        action = SET;
    }
    Append(ArrayOf(action), path, definition, {"desiredValue", &desired}, {"hostValue", &host});
}

void CheckCompliance(rapidjson::Document& desired, bool compareEmptyByProperty,
                     ComplianceResult& result, std::shared_ptr<TaskHandle> task) {
    CSLogger::Batch logBatch;
    HostLock hostLock;
    CheckComplianceHandler handler(&result);
    handler.compareEmptyByProperty = compareEmptyByProperty;
    handler.useDefaultInstances = false;
    ComputeDrift(desired, desired.GetAllocator(), handler);
    task->UpdateProgress(100.0f);
}

}  // namespace TarnConfigManager
