// AbiRequest: the C view (tarn_plugin_request) of a plugin request read from the request file,
// with the storage of every string it points to. Built and used on the runner's one thread;
// the view is valid while the AbiRequest lives.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "deradidezivizoda/plugins/plugin_request.h"
#include "tarn_plugin.h"

namespace TarnRunner {

class AbiRequest {
public:
    // Reads the members the request's operation needs. Throws what the request's getters
    // throw (std::runtime_error, ConfigStoreException) for a request not in the format.
    explicit AbiRequest(const TarnConfigManager::PluginRequest& request);
    AbiRequest(const AbiRequest&) = delete;
    AbiRequest& operator=(const AbiRequest&) = delete;

    const tarn_plugin_request& Get() const { return request_; }

private:
    const char* Keep(std::string text);
    tarn_object_id Id(const TarnConfigStore::ConfigStoreObjectId& id);
    tarn_config_input Input(const TarnConfigStore::ConfigStoreObject& object);
    tarn_config_input Input(const TarnConfigManager::DesiredConfigInput& input);

    std::deque<std::string> texts_;  // a deque never moves its elements
    std::vector<tarn_config_input> inputs_;
    std::vector<tarn_config_input> references_;
    std::vector<tarn_object_id> ids_;
    tarn_plugin_request request_{};
};

}  // namespace TarnRunner
