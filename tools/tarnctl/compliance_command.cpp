#include "compliance_command.h"

#include <memory>

#include "change_list.h"
#include "console.h"
#include "console_task.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "exit_codes.h"
#include "host_document.h"

namespace Tarnctl {

namespace {

void PrintReport(const Console& console, const std::string& path, const rapidjson::Value& desired,
                 const TarnConfigManager::ComplianceResult& result) {
    if (result.compliant) {
        console.Line(console.Paint("The host is compliant with " + path + ".", Colour::kGreen));
        return;
    }
    size_t count = CountChanges(result.document).Total();
    console.Line(console.Paint("The host is not compliant with " + path + ": " +
                                   std::to_string(count) +
                                   (count == 1 ? " difference." : " differences."),
                               Colour::kRed));
    for (const std::string& line : ChangeLines(console, Stream::kOut, result.document, desired)) {
        console.Line(line);
    }
}

}  // namespace

int RunCompliance(const Console& console, const ComplianceOptions& options) {
    rapidjson::Document desired = ReadDocument(options.document);
    ReduceToThisHost(desired);
    TarnConfigManager::ComplianceResult result;
    auto task = std::make_shared<ConsoleTask>(console, "compliance");
    TarnConfigManager::CheckCompliance(desired, options.compareEmptyByProperty, result, task);
    task->Finish();
    if (console.Json()) {
        rapidjson::Document out(rapidjson::kObjectType);
        out.AddMember("compliant", result.compliant, out.GetAllocator());
        out.AddMember("report", rapidjson::Value(result.document, out.GetAllocator()),
                      out.GetAllocator());
        console.PrintJson(out);
    } else {
        PrintReport(console, DocumentName(options.document), desired, result);
    }
    return result.compliant ? kExitOk : kExitFindings;
}

}  // namespace Tarnctl
