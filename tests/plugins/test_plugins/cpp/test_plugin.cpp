// The native test plugin. One shared object serves every test behaviour; the behaviour is the
// last piece of the plugin's id, i.e. the folder its manifest is installed in:
//   ok        answers every operation (see the functions below)
//   free      as ok, but judges every change as needing nothing (no impact)
//   error     reports the error "test.plugin.error" with the plugin id as its argument
//   raises    throws an exception that is not a PluginError
//   garbage   answers with values the runner must refuse
//   exit2     ends the process with status 2
//   kill9     kills itself with SIGKILL
//   hang      creates the file kHangingMarker, then waits until a signal ends it
//   malformed writes a truncated result file and ends with status 0
//   noresult  ends with status 0 without an answer
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "tarn/paths.h"
#include "tarn_plugin.h"

namespace {

using TarnPlugin::Request;

// Where the hang behaviour says that it hangs.
const char kHangingMarker[] = "/var/corvid/lifecycle/test-plugin-hanging";

std::string Behaviour(const Request& request) {
    return request.pluginId.substr(request.pluginId.rfind(':') + 1);
}

// Behaviours that do not answer; returns for "ok", "error" and "garbage".
void Misbehave(const Request& request) {
    std::string behaviour = Behaviour(request);
    if (behaviour == "error") {
        throw TarnPlugin::PluginError("test.plugin.error", {request.pluginId}, "reported");
    } else if (behaviour == "raises") {
        throw std::runtime_error("the test plugin raises");
    } else if (behaviour == "exit2") {
        std::exit(2);
    } else if (behaviour == "kill9") {
        raise(SIGKILL);
    } else if (behaviour == "hang") {
        std::FILE* marker = std::fopen(request.HostPath(kHangingMarker).c_str(), "w");
        std::fclose(marker);
        for (;;) {
            pause();
        }
    } else if (behaviour == "malformed") {
        std::FILE* out = std::fopen(TarnPaths::kPluginOutputFile, "w");
        std::fputs("{\"id\": \"trunc", out);
        std::fclose(out);
        _exit(0);
    } else if (behaviour == "noresult") {
        _exit(0);
    }
}

void Apply(const Request& request) {
    Misbehave(request);
    if (Behaviour(request) == "garbage") {
        throw std::runtime_error("apply has no garbage to return");
    }
}

// One verdict per change: maintenance mode, quick boot ruled out when the change has a drift.
std::vector<TarnPlugin::ImpactVerdict> Impact(const Request& request) {
    Misbehave(request);
    std::string behaviour = Behaviour(request);
    int level = behaviour == "garbage" ? 7
                : behaviour == "free"  ? TARN_IMPACT_NONE
                                       : TARN_IMPACT_MAINTENANCE_MODE;
    std::vector<TarnPlugin::ImpactVerdict> verdicts;
    for (const auto& input : request.inputs) {
        verdicts.push_back(
            {input.id, static_cast<TarnPlugin::Impact>(level), !input.drift.has_value()});
    }
    return verdicts;
}

// One object per requested key, holding what the request said about the run.
std::vector<TarnPlugin::ConfigObject> Extract(const Request& request) {
    Misbehave(request);
    std::vector<TarnPlugin::ConfigObject> objects;
    for (const auto& id : request.ids) {
        std::string config = "{\"plugin\":\"" + request.pluginId + "\",\"task\":\"" +
                             request.taskId + "\",\"context\":\"" + request.clusterContext +
                             "\",\"root\":\"" + request.hostRoot + "\"}";
        objects.push_back({id, Behaviour(request) == "garbage" ? "{not json" : config});
    }
    return objects;
}

// One problem per object at "/<key>/value", naming the object and the number of references.
// The garbage behaviour's path is not UTF-8.
std::vector<TarnPlugin::InvalidField> Validate(const Request& request) {
    Misbehave(request);
    bool garbage = Behaviour(request) == "garbage";
    std::vector<TarnPlugin::InvalidField> fields;
    for (const auto& input : request.inputs) {
        std::string name = input.id.instanceId.empty() ? input.id.key : input.id.instanceId;
        fields.push_back(
            {garbage ? "/\xff" : "/" + input.id.key + "/value",
             {{"test.invalid", {name, std::to_string(request.references.size())}, ""}}});
    }
    return fields;
}

}  // namespace

TARN_PLUGIN_APPLY(Apply)
TARN_PLUGIN_IMPACT(Impact)
TARN_PLUGIN_EXTRACT(Extract)
TARN_PLUGIN_VALIDATE(Validate)
