// ResultCollector: the runner's tarn_result_sink. It gathers what a native plugin reports into
// the plugin-support result records and writes the result file for the run's operation.
// Owned by the runner; used on its one thread while the plugin runs and after.
#pragma once

#include <map>
#include <string>

#include "tarn/pluginsupport/error_info.h"
#include "tarn/pluginsupport/extract_plugin_result.h"
#include "tarn/pluginsupport/impact_plugin_result.h"
#include "tarn/pluginsupport/validation_plugin_result.h"
#include "tarn_plugin.h"

namespace TarnRunner {

class ResultCollector {
public:
    ResultCollector();
    ResultCollector(const ResultCollector&) = delete;
    ResultCollector& operator=(const ResultCollector&) = delete;

    const tarn_result_sink& Sink() const { return sink_; }
    // Why the plugin's answer cannot be written (the first bad call), or empty.
    const std::string& Failure() const { return failure_; }

    // Writes the result file of operation ("APPLY", ...) through a rename. Throws
    // ConfigStoreException 1082 when a reported text is not UTF-8 and std::runtime_error
    // naming the file when it cannot be written.
    void Write(const std::string& operation, const std::string& path);

private:
    static void SetError(void* context, const char* id, const char* const* args, size_t arg_count,
                         const char* message);
    static void AddImpact(void* context, const tarn_object_id* id, int impact,
                          int quick_boot_capable);
    static void AddObject(void* context, const tarn_object_id* id, const char* config);
    static void AddInvalid(void* context, const char* path, const char* id, const char* const* args,
                           size_t arg_count, const char* message);

    bool Check(bool condition, const char* call, const char* problem);
    bool CheckId(const tarn_object_id* id, const char* call);
    bool CheckError(const char* id, const char* const* args, size_t arg_count, const char* message,
                    const char* call);

    tarn_result_sink sink_;
    std::string failure_;
    TarnConfigManager::ErrorInfo error_;
    TarnConfigManager::ImpactPluginResult impact_;
    TarnConfigManager::ExtractPluginResult extract_;
    TarnConfigManager::ValidationPluginResult validation_;
    std::map<std::string, size_t> invalidPaths_;  // path -> its entry in validation_.errors
};

}  // namespace TarnRunner
