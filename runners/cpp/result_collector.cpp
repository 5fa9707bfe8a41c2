#include "result_collector.h"

#include <stdexcept>

#include "tarn/pluginsupport/result_file.h"

namespace TarnRunner {

using TarnConfigManager::ErrorInfo;

namespace {

ResultCollector& Self(void* context) {
    return *static_cast<ResultCollector*>(context);
}

TarnConfigStore::ConfigStoreObjectId ToId(const tarn_object_id& id) {
    return TarnConfigStore::ConfigStoreObjectId(id.key, id.group, id.component, id.instance_id);
}

ErrorInfo ToError(const char* id, const char* const* args, size_t arg_count, const char* message) {
    return ErrorInfo(id, std::vector<std::string>(args, args + arg_count), message);
}

}  // namespace

ResultCollector::ResultCollector()
    : sink_{this, &ResultCollector::SetError, &ResultCollector::AddImpact,
            &ResultCollector::AddObject, &ResultCollector::AddInvalid} {}

bool ResultCollector::Check(bool condition, const char* call, const char* problem) {
    if (!condition && failure_.empty()) {
        failure_ = std::string(call) + ": " + problem;
    }
    return condition && failure_.empty();
}

bool ResultCollector::CheckId(const tarn_object_id* id, const char* call) {
    return Check(id && id->component && id->group && id->key && id->instance_id, call,
                 "an object id or one of its texts is NULL");
}

bool ResultCollector::CheckError(const char* id, const char* const* args, size_t arg_count,
                                 const char* message, const char* call) {
    bool argsOk = arg_count == 0 || args;
    for (size_t i = 0; argsOk && i < arg_count; ++i) {
        argsOk = args[i] != nullptr;
    }
    return Check(id && message && argsOk, call, "a message id, argument or text is NULL");
}

void ResultCollector::SetError(void* context, const char* id, const char* const* args,
                               size_t arg_count, const char* message) {
    ResultCollector& self = Self(context);
    if (self.CheckError(id, args, arg_count, message, "set_error")) {
        self.error_ = ToError(id, args, arg_count, message);
    }
}

void ResultCollector::AddImpact(void* context, const tarn_object_id* id, int impact,
                                int quick_boot_capable) {
    ResultCollector& self = Self(context);
    if (!self.CheckId(id, "add_impact") ||
        !self.Check(impact >= TARN_IMPACT_NONE && impact <= TARN_IMPACT_REBOOT, "add_impact",
                    "the impact is not 0, 1 or 2")) {
        return;
    }
    TarnConfigManager::ImpactPluginInfo info;
    info.impact = static_cast<TarnConfigManager::IMPACT_TYPE>(impact);
    info.component = id->component;
    info.group = id->group;
    info.key = id->key;
    info.instanceId = id->instance_id;
    info.quickBootCapable = quick_boot_capable != 0;
    self.impact_.impacts.push_back(std::move(info));
}

void ResultCollector::AddObject(void* context, const tarn_object_id* id, const char* config) {
    ResultCollector& self = Self(context);
    if (!self.CheckId(id, "add_object") || !self.Check(config, "add_object", "config is NULL")) {
        return;
    }
    try {
        self.extract_.configs.push_back(TarnConfigStore::CreateObject(ToId(*id), config, {}));
    } catch (const std::exception& e) {
        self.Check(false, "add_object", e.what());
    }
}

void ResultCollector::AddInvalid(void* context, const char* path, const char* id,
                                 const char* const* args, size_t arg_count, const char* message) {
    ResultCollector& self = Self(context);
    if (!self.Check(path, "add_invalid", "the path is NULL") ||
        !self.CheckError(id, args, arg_count, message, "add_invalid")) {
        return;
    }
    auto& errors = self.validation_.errors;
    auto [entry, added] = self.invalidPaths_.emplace(path, errors.size());
    if (added) {
        errors.emplace_back();
        errors.back().path = path;
    }
    errors[entry->second].messages.push_back(ToError(id, args, arg_count, message));
}

void ResultCollector::Write(const std::string& operation, const std::string& path) {
    if (operation == "APPLY") {
        TarnConfigManager::WriteResultFile(path, error_);
    } else if (operation == "IMPACT") {
        impact_.error = error_;
        impact_.Write(path);
    } else if (operation == "EXTRACT") {
        extract_.error = error_;
        extract_.Write(path);
    } else if (operation == "VALIDATE") {
        validation_.pluginErr = error_;
        validation_.Write(path);
    } else {
        throw std::runtime_error("no result file for the operation " + operation);
    }
}

}  // namespace TarnRunner
