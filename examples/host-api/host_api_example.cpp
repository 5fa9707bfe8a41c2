#include <iostream>

#include "deradidezivizoda/hostapi/host_api.h"
#include "deradidezivizoda/plugins/task_handle.h"

using namespace TarnConfigManager;

int main() {
    auto task = TaskHandle::Dummy();
    std::string defaults, current, schema;
    GetConfig("system", "time", "ntp", defaults, current, schema);
    std::cout << "current: " << current << "\n";

    // Set: validate the value, build the documents, check the impact, then apply or store.
    rapidjson::Document value, desired, currentDoc, relevant;
    std::vector<ValidationErrorInfo> errors;
    if (!ValidateInputSet("system", "time", "ntp", R"({"servers": ["ntp1.example"]})", value,
                          errors)) {
        for (const ValidationErrorInfo& error : errors) {
            std::cerr << "invalid: " << error.path << "\n";
        }
        return 2;
    }
    GenerateSetDocuments("system", "time", "ntp", value, desired, currentDoc, relevant);
    ImpactResult impact = CheckImpact(desired, currentDoc, task);
    if (impact.impact == REBOOT_REQUIRED) {
        std::cout << "applied at the next boot\n";
    }
    ErrorInfo error = SetConfig(desired, currentDoc, value, impact, "system", "time", "ntp", task);
    if (!error.id.empty()) {
        std::cerr << "set failed: " << error.id << "\n";
        return 1;
    }

    // Delete: the current objects of the key against an empty desired document.
    ValidateInputDelete("system", "time", "ntp");
    rapidjson::Document toDelete, relevantToDelete, nothing(rapidjson::kObjectType);
    GenerateDeleteDocuments("system", "time", "ntp", toDelete, relevantToDelete);
    ImpactResult deleteImpact = CheckImpact(nothing, toDelete, task);
    error = DeleteConfig(toDelete, deleteImpact, "system", "time", "ntp", task);
    if (!error.id.empty()) {
        std::cerr << "delete failed: " << error.id << "\n";
        return 1;
    }
    std::cout << "set and deleted\n";
    return 0;
}
