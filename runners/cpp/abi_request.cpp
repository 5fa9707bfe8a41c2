#include "abi_request.h"

#include "tarn/paths.h"

namespace TarnRunner {

using TarnConfigManager::DesiredConfigInput;
using TarnConfigManager::PluginRequest;

AbiRequest::AbiRequest(const PluginRequest& request) {
    request_.plugin_id = Keep(request.GetId());
    request_.operation = Keep(request.GetType());
    request_.version = request.GetVersion();
    request_.task_id = Keep(request.GetTaskId());
    request_.cluster_context = Keep(request.GetClusterContext());
    std::string operation = request_.operation;
    if (operation == "EXTRACT") {
        for (const auto& id : request.GetCSOIdsForExtract()) {
            ids_.push_back(Id(id));
        }
    } else {
        for (const DesiredConfigInput& input : request.GetData()) {
            inputs_.push_back(Input(input));
        }
        if (operation == "VALIDATE") {
            for (const auto& object : request.GetReferences()) {
                references_.push_back(Input(*object));
            }
        }
    }
    request_.inputs = inputs_.data();
    request_.input_count = inputs_.size();
    request_.references = references_.data();
    request_.reference_count = references_.size();
    request_.ids = ids_.data();
    request_.id_count = ids_.size();
    request_.host_root = TarnPaths::kRoot;
}

const char* AbiRequest::Keep(std::string text) {
    texts_.push_back(std::move(text));
    return texts_.back().c_str();
}

tarn_object_id AbiRequest::Id(const TarnConfigStore::ConfigStoreObjectId& id) {
    return {Keep(id.GetComponent()), Keep(id.GetGroup()), Keep(id.GetKey()),
            Keep(id.GetInstanceId())};
}

tarn_config_input AbiRequest::Input(const TarnConfigStore::ConfigStoreObject& object) {
    tarn_config_input in{};
    in.id = Id(object.GetConfigStoreObjectId());
    in.config = Keep(object.HasValue() ? object.GetSerializedData() : "null");
    in.operation = "";
    in.cached_operation = "";
    return in;
}

tarn_config_input AbiRequest::Input(const DesiredConfigInput& input) {
    tarn_config_input in = Input(*input.object);
    in.operation = Keep(input.operation);
    if (input.drift) {
        in.drift = Keep(input.drift->GetDriftData());
    }
    if (input.cachedDrift) {
        in.has_cached_drift = 1;
        in.cached_operation = Keep(input.cachedDrift->operation);
        if (input.cachedDrift->drift) {
            in.cached_drift = Keep(input.cachedDrift->drift->GetDriftData());
        }
    }
    return in;
}

}  // namespace TarnRunner
