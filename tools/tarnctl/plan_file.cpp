#include "plan_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "deradidezivizoda/extract/extract_configuration.h"
#include "error_report.h"
#include "sha256.h"
#include "state_names.h"
#include "tarn/json/json_text.h"

namespace Tarnctl {

namespace {

using TarnConfigManager::CheckApplyResult;

// The format's version; a reader refuses any other.
constexpr int kPlanFormat = 1;
constexpr char kIntegrity[] = "integritySha256";

std::string DocumentSha256(const rapidjson::Value& document) {
    return Sha256Hex(TarnConfigStore::WriteJsonText(document));
}

// The hash over every member but the integrity hash itself, in file order.
std::string IntegritySha256(const rapidjson::Value& plan) {
    rapidjson::Document content(rapidjson::kObjectType);
    for (const auto& member : plan.GetObject()) {
        if (member.name != kIntegrity) {
            content.AddMember(rapidjson::Value(member.name, content.GetAllocator()),
                              rapidjson::Value(member.value, content.GetAllocator()),
                              content.GetAllocator());
        }
    }
    return Sha256Hex(TarnConfigStore::WriteJsonText(content));
}

rapidjson::Value Text(const std::string& text, rapidjson::Document& plan) {
    return rapidjson::Value(text, plan.GetAllocator());
}

CommandError NotAPlan(const std::string& path, const std::string& why) {
    return CommandError(path + " is not a plan tarnctl can apply: " + why);
}

CommandError Altered(const std::string& path, const char* what) {
    return CommandError("the plan " + path + " was altered after it was made (" + what +
                        " does not match its content); make a new one with tarnctl impact --out");
}

const rapidjson::Value& Member(const rapidjson::Value& plan, const char* name,
                               const std::string& path) {
    auto found = plan.FindMember(name);
    if (found == plan.MemberEnd()) {
        throw NotAPlan(path, std::string("\"") + name + "\" is missing");
    }
    return found->value;
}

std::string StringMember(const rapidjson::Value& plan, const char* name, const std::string& path) {
    const rapidjson::Value& value = Member(plan, name, path);
    if (!value.IsString()) {
        throw NotAPlan(path, std::string("\"") + name + "\" is not a text");
    }
    return value.GetString();
}

TarnConfigManager::IMPACT_TYPE ImpactNamed(const std::string& name, const std::string& path) {
    for (auto impact : {TarnConfigManager::NO_IMPACT, TarnConfigManager::MAINTENANCE_MODE_REQUIRED,
                        TarnConfigManager::REBOOT_REQUIRED}) {
        if (name == ImpactName(impact)) {
            return impact;
        }
    }
    throw NotAPlan(path, "unknown impact \"" + name + "\"");
}

TarnConfigManager::QUICK_BOOT_STATUS QuickBootOf(const rapidjson::Value& plan,
                                                 const std::string& path) {
    const rapidjson::Value& status = Member(plan, "quickBootStatus", path);
    if (!status.IsInt() || status.GetInt() < TarnConfigManager::QUICK_BOOT_UNSUPPORTED ||
        status.GetInt() > TarnConfigManager::QUICK_BOOT_STM_SUPPORTED) {
        throw NotAPlan(path, "\"quickBootStatus\" is not 0, 1 or 2");
    }
    return static_cast<TarnConfigManager::QUICK_BOOT_STATUS>(status.GetInt());
}

// The file's content, or why it is not a plan of this format.
rapidjson::Document ParsePlan(const std::string& path) {
    if (access(path.c_str(), R_OK) != 0) {
        throw CommandError("cannot read the plan " + path + ": " + std::strerror(errno));
    }
    rapidjson::Document plan;
    TarnConfigStore::JsonParseError error;
    if (!TarnConfigStore::ParseJsonFile(path.c_str(), plan, &error)) {
        throw NotAPlan(path, "no JSON (" + std::to_string(error.line) + ":" +
                                 std::to_string(error.column) + ": " + error.message + ")");
    }
    if (!plan.IsObject()) {
        throw NotAPlan(path, "it holds no JSON object");
    }
    auto format = plan.FindMember("plan");
    if (format == plan.MemberEnd() || !format->value.IsInt() ||
        format->value.GetInt() != kPlanFormat) {
        throw NotAPlan(path, "\"plan\" is not " + std::to_string(kPlanFormat));
    }
    return plan;
}

}  // namespace

std::string HostConfigurationSha256() {
    return DocumentSha256(TarnConfigManager::ExtractCurrentConfiguration());
}

void WritePlan(const std::string& path, const SavedPlan& saved) {
    const CheckApplyResult& check = *saved.check;
    rapidjson::Document plan(rapidjson::kObjectType);
    auto& allocator = plan.GetAllocator();
    plan.AddMember("plan", kPlanFormat, allocator);
    plan.AddMember("created", Text(saved.created, plan), allocator);
    plan.AddMember("impact", rapidjson::StringRef(ImpactName(check.impact)), allocator);
    plan.AddMember("quickBootStatus", static_cast<int>(check.quickBootStatus), allocator);
    plan.AddMember("clusterContext", Text(check.clusterContext, plan), allocator);
    plan.AddMember("document", rapidjson::Value(check.desiredDocument, allocator), allocator);
    plan.AddMember("documentSha256", Text(DocumentSha256(check.desiredDocument), plan), allocator);
    plan.AddMember("hostSha256", Text(saved.hostSha256, plan), allocator);
    plan.AddMember("driftCache", Text(check.driftCache, plan), allocator);
    plan.AddMember(rapidjson::StringRef(kIntegrity), Text(IntegritySha256(plan), plan), allocator);
    if (!TarnConfigStore::WriteFileAtomically(path, TarnConfigStore::WriteJsonPretty(plan) + "\n",
                                              0600)) {
        throw CommandError("cannot write the plan " + path + ": " + std::strerror(errno));
    }
}

SavedPlan ReadPlan(const std::string& path) {
    rapidjson::Document plan = ParsePlan(path);
    if (StringMember(plan, kIntegrity, path) != IntegritySha256(plan)) {
        throw Altered(path, "its integrity hash");
    }
    const rapidjson::Value& documentValue = Member(plan, "document", path);
    if (!documentValue.IsObject()) {
        throw NotAPlan(path, "\"document\" is no JSON object");
    }
    if (StringMember(plan, "documentSha256", path) != DocumentSha256(documentValue)) {
        throw Altered(path, "the document's hash");
    }
    rapidjson::Document document;
    document.CopyFrom(documentValue, document.GetAllocator());
    SavedPlan saved;
    saved.created = StringMember(plan, "created", path);
    saved.hostSha256 = StringMember(plan, "hostSha256", path);
    saved.check = std::make_shared<CheckApplyResult>(
        ImpactNamed(StringMember(plan, "impact", path), path), document, QuickBootOf(plan, path),
        StringMember(plan, "clusterContext", path), StringMember(plan, "driftCache", path));
    return saved;
}

}  // namespace Tarnctl
