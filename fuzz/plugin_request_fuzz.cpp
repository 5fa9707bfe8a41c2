// libFuzzer target for the runner's side of the request file: the input is the file. Load
// either refuses it or every getter answers with a value or a documented exception
// (std::runtime_error for a missing member, ConfigStoreException for a wrong type).
#include <exception>
#include <string>

#include "deradidezivizoda/plugins/plugin_request.h"
#include "fuzz_host.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/paths.h"

using TarnConfigManager::PluginRequest;

namespace {

template <typename Getter>
void Ask(Getter getter) {
    try {
        getter();
    } catch (const std::runtime_error&) {
    } catch (const TarnConfigStore::ConfigStoreException&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TarnFuzz::PrepareHostRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TarnFuzz::WriteText(TarnPaths::kPluginInputFile, TarnFuzz::InputText(data, size));
    PluginRequest request;
    try {
        request.Load(TarnPaths::kPluginInputFile);
    } catch (const std::runtime_error&) {
        return 0;
    }
    Ask([&] { request.GetVersion(); });
    Ask([&] { request.GetTaskId(); });
    Ask([&] { request.GetClusterContext(); });
    Ask([&] { request.GetType(); });
    Ask([&] { request.GetId(); });
    Ask([&] { request.GetModule(); });
    Ask([&] { request.GetData(); });
    Ask([&] { request.GetReferences(); });
    Ask([&] { request.GetCSOIdsForExtract(); });
    return 0;
}
