#include "json_errors.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "utf8.h"

namespace TarnConfigStore {

namespace {

// Checks every string and name before the writer sees it; the writer itself refuses numbers
// that are not finite.
class CheckingPrettyWriter {
public:
    explicit CheckingPrettyWriter(rapidjson::StringBuffer& buffer) : writer_(buffer, nullptr, 32) {}

    bool Null() { return writer_.Null(); }
    bool Bool(bool b) { return writer_.Bool(b); }
    bool Int(int i) { return writer_.Int(i); }
    bool Uint(unsigned u) { return writer_.Uint(u); }
    bool Int64(int64_t i) { return writer_.Int64(i); }
    bool Uint64(uint64_t u) { return writer_.Uint64(u); }
    bool Double(double d) { return writer_.Double(d); }
    // A number's text as it is (the writer's own RawNumber would quote it).
    bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
        return writer_.RawValue(s, n, rapidjson::kNumberType);
    }
    bool String(const char* s, rapidjson::SizeType n, bool copy) {
        return IsValidUtf8(s, n) && writer_.String(s, n, copy);
    }
    bool Key(const char* s, rapidjson::SizeType n, bool copy) {
        return IsValidUtf8(s, n) && writer_.Key(s, n, copy);
    }
    bool StartObject() { return writer_.StartObject(); }
    bool EndObject(rapidjson::SizeType n) { return writer_.EndObject(n); }
    bool StartArray() { return writer_.StartArray(); }
    bool EndArray(rapidjson::SizeType n) { return writer_.EndArray(n); }

private:
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer_;
};

}  // namespace

std::string WriteJsonPretty(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    CheckingPrettyWriter writer(buffer);
    if (!value.Accept(writer)) {
        ThrowUnwritable();
    }
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string IndentJsonText(const std::string& text) {
    rapidjson::StringBuffer buffer;
    CheckingPrettyWriter writer(buffer);
    // Numbers pass through as the text spells them: what this library writes is what reading
    // and writing them again gives.
    rapidjson::Reader reader;
    rapidjson::StringStream stream(text.c_str());
    if (!reader.Parse<rapidjson::kParseNumbersAsStringsFlag>(stream, writer)) {
        throw ConfigStoreException(kStoreJsonError, "JSON error: the text to indent is not JSON");
    }
    std::string indented;
    indented.reserve(buffer.GetSize() + 1);
    indented.assign(buffer.GetString(), buffer.GetSize());
    indented += '\n';
    return indented;
}

}  // namespace TarnConfigStore
