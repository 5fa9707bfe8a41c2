// libFuzzer target for the one parse path of outside JSON: whatever parses must write back
// and reparse to the same text, and nothing may crash, hang or overflow the stack.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tarn/json/json_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    rapidjson::Document doc;
    if (!TarnConfigStore::ParseJsonText(text, doc)) {
        return 0;
    }
    std::string written = TarnConfigStore::WriteJsonText(doc);
    rapidjson::Document reread;
    if (!TarnConfigStore::ParseJsonText(written, reread) ||
        TarnConfigStore::WriteJsonText(reread) != written) {
        std::abort();
    }
    return 0;
}
