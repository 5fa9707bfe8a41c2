// libFuzzer target for the four result files a runner leaves for the library: the first byte
// picks the record, the rest is the file. Whatever loads must write out and load back equal.
#include <cstdlib>
#include <exception>
#include <string>
#include <type_traits>

#include "fuzz_host.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"
#include "tarn/pluginsupport/extract_plugin_result.h"
#include "tarn/pluginsupport/impact_plugin_result.h"
#include "tarn/pluginsupport/result_file.h"
#include "tarn/pluginsupport/validation_plugin_result.h"

using namespace TarnConfigManager;

namespace {

const std::string kFile = std::string(TarnPaths::kStateDir) + "fuzz-result.json";
const std::string kRewritten = std::string(TarnPaths::kStateDir) + "fuzz-result-2.json";

template <typename Record>
std::string JsonOf(const Record& record) {
    rapidjson::Document out(rapidjson::kObjectType);
    record.convertToJson(out, out.GetAllocator());
    return TarnConfigStore::WriteJsonText(out);
}

template <typename Record>
void RoundTrip() {
    Record first;
    try {
        first = Record::Load(kFile);
    } catch (const std::exception&) {
        return;  // refused with a message: fine
    }
    if constexpr (std::is_same_v<Record, ErrorInfo>) {
        WriteResultFile(kRewritten, first);
    } else {
        first.Write(kRewritten);
    }
    Record second = Record::Load(kRewritten);
    if (JsonOf(first) != JsonOf(second)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    TarnFuzz::PrepareHostRoot();
    TarnFuzz::WriteText(kFile, TarnFuzz::InputText(data + 1, size - 1));
    switch (data[0] % 4) {
        case 0:
            RoundTrip<ImpactPluginResult>();
            break;
        case 1:
            RoundTrip<ExtractPluginResult>();
            break;
        case 2:
            RoundTrip<ValidationPluginResult>();
            break;
        default:
            RoundTrip<ErrorInfo>();
            break;
    }
    return 0;
}
