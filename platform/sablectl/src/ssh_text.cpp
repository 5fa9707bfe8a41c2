#include "ssh_text.h"

#include <stdexcept>

#include "tarn/json/json.h"

namespace SableCtl {
namespace System {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Reads nothing: UTF-8 validation needs an output stream.
struct DiscardingStream {
    void Put(char) {}
};

// Whether text is UTF-8 as the JSON writer checks it (no overlong forms, no surrogates).
bool IsUtf8(std::string_view text) {
    rapidjson::MemoryStream in(text.data(), text.size());
    DiscardingStream out;
    while (in.Tell() < text.size()) {
        if (!rapidjson::UTF8<>::Validate(in, out)) {
            return false;
        }
    }
    return true;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::vector<TextLine> SignificantLines(const std::string& text, const std::string& path) {
    std::vector<TextLine> lines;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string_view line = Trim(std::string_view(text).substr(start, end - start));
        if (!line.empty() && line.front() != '#') {
            if (!IsUtf8(line)) {
                ThrowLineError(path, number, "the line is not UTF-8 text");
            }
            lines.push_back({number, std::string(line)});
        }
        start = end + 1;
    }
    return lines;
}

void ThrowLineError(const std::string& path, int line, const std::string& what) {
    throw std::runtime_error(path + ":" + std::to_string(line) + ": " + what);
}

}  // namespace System
}  // namespace SableCtl
