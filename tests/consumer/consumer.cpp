// An outside program using the installed library: checks the host's compliance with the
// document given as its argument and prints "compliant" or "drift <paths>".
#include <deradidezivizoda/drift/check_compliance.h>
#include <deradidezivizoda/plugins/task_handle.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer DOCUMENT-TEXT\n");
        return 1;
    }
    rapidjson::Document desired;
    if (desired.Parse(argv[1]).HasParseError()) {
        std::fprintf(stderr, "not JSON: %s\n", argv[1]);
        return 1;
    }
    TarnConfigManager::ComplianceResult result;
    TarnConfigManager::CheckCompliance(desired, false, result,
                                       TarnConfigManager::TaskHandle::Dummy());
    if (result.compliant) {
        std::printf("compliant\n");
        return 0;
    }
    std::printf("drift");
    for (const char* kind : {"ADDS", "SETS", "DELETES"}) {
        for (const auto& entry : result.document[kind].GetArray()) {
            std::printf(" %s %s", kind, entry["path"].GetString());
        }
    }
    std::printf("\n");
    return 0;
}
