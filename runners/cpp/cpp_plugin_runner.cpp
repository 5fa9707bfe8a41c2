// cpp_plugin_runner: runs one operation of a native plugin for the host configuration manager.
// It reads the request file, loads the plugin's shared object from the folder of its manifest,
// calls the operation's entry point (tarn_plugin.h) and writes the answer as the result file
// through a rename. Arguments are ignored; the environment may be empty.
// Exit status: 0 when the result file is written; 1 when the plugin failed (its entry point
// reported a failure or threw, or it reported something that cannot be written); 3 when the
// plugin could not be run (request, module, entry point or result file). A plugin that ends
// the process itself keeps its own status. No result file is written on any failure.
#include <signal.h>

#include <stdexcept>
#include <string>

#include "abi_request.h"
#include "native_module.h"
#include "result_collector.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace {

using TarnConfigManager::PluginRequest;
using TarnRunner::AbiRequest;
using TarnRunner::NativeModule;
using TarnRunner::ResultCollector;

constexpr int kPluginFailed = 1;
constexpr int kNotRun = 3;

struct RunFailure {
    int status;
    std::string text;
};

// The folder of the plugin's manifest: the id's ":"-separated pieces as folders.
std::string ModulePath(const std::string& pluginId, const std::string& module) {
    std::string folder;
    size_t start = 0;
    while (true) {
        size_t end = pluginId.find(':', start);
        std::string piece = pluginId.substr(start, end - start);
        if (piece.empty() || piece == "." || piece == ".." ||
            piece.find('/') != std::string::npos) {
            throw RunFailure{kNotRun, "the plugin id does not name a plugin folder"};
        }
        folder += piece + "/";
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    if (module.empty() || module.find('/') != std::string::npos) {
        throw RunFailure{kNotRun, "the module \"" + module + "\" is not a file name"};
    }
    return TarnPaths::kPluginDir + folder + module;
}

void CheckOperation(const std::string& operation) {
    if (operation != "APPLY" && operation != "IMPACT" && operation != "EXTRACT" &&
        operation != "VALIDATE") {
        throw RunFailure{kNotRun, "unknown operation \"" + operation + "\""};
    }
}

void CallPlugin(tarn_plugin_entry entry, const AbiRequest& request, ResultCollector& result) {
    const std::string operation = request.Get().operation;
    int status = 1;
    try {
        status = entry(&request.Get(), &result.Sink());
    } catch (...) {
        throw RunFailure{kPluginFailed, "the " + operation + " entry point threw"};
    }
    if (status != 0) {
        throw RunFailure{kPluginFailed,
                         "the " + operation + " entry point returned " + std::to_string(status)};
    }
    if (!result.Failure().empty()) {
        throw RunFailure{kPluginFailed, "the plugin's answer is invalid: " + result.Failure()};
    }
}

void WriteResult(ResultCollector& result, const std::string& operation) {
    try {
        result.Write(operation, TarnPaths::kPluginOutputFile);
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        throw RunFailure{kPluginFailed, std::string("the plugin's answer is invalid: ") + e.what()};
    } catch (const std::exception& e) {
        throw RunFailure{kNotRun, e.what()};
    }
}

void Run(PluginRequest& request) {
    std::string operation = request.GetType();
    CheckOperation(operation);
    AbiRequest abiRequest(request);
    NativeModule module(ModulePath(request.GetId(), request.GetModule()));
    tarn_plugin_entry entry = module.Entry(operation);
    ResultCollector result;
    CallPlugin(entry, abiRequest, result);
    WriteResult(result, operation);
}

}  // namespace

// An abort, or the end of the process that started the runner, sends it SIGTERM: the runner
// then stops its whole process group, so nothing the plugin started outlives the run.
extern "C" void StopRunGroup(int) {
    kill(0, SIGKILL);
}

int main() {
    signal(SIGTERM, StopRunGroup);
    PluginRequest request;
    std::string pluginId = "?";
    try {
        request.Load(TarnPaths::kPluginInputFile);
        pluginId = request.GetId();
        Run(request);
        return 0;
    } catch (const RunFailure& e) {
        CSLogger::Log(CSLogger::kError, "cpp_plugin_runner: plugin %s: %s", pluginId.c_str(),
                      e.text.c_str());
        return e.status;
    } catch (const std::exception& e) {
        CSLogger::Log(CSLogger::kError, "cpp_plugin_runner: plugin %s: %s", pluginId.c_str(),
                      e.what());
        return kNotRun;
    }
}
