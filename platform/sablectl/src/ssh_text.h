// Reading the line formats of the SSH files: significant lines, fields, and the parsers of
// authorized_keys and of keyword files (ssh_config, sshd_config). Private to the library;
// reentrant.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tarn/export.h"
#include "tarn/sablectl/ssh_config.h"

TARN_PUBLIC_BEGIN

namespace SableCtl {
namespace System {

// A line that is neither blank nor a comment: its number (from 1) and its text, trimmed.
struct TextLine {
    int number;
    std::string text;
};

// Throws (see ThrowLineError) for a significant line that is not UTF-8 text: the rows are
// JSON, which holds nothing else.
std::vector<TextLine> SignificantLines(const std::string& text, const std::string& path);
std::string_view Trim(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Throws std::runtime_error "<path>:<line>: <what>".
[[noreturn]] void ThrowLineError(const std::string& path, int line, const std::string& what);

// One row per public key, identified by the key's base64 text.
std::vector<SshConfigRow> ParseAuthorizedKeys(const std::string& text, const std::string& path);

// One row (no identifier) holding the keyword settings and the conditional blocks that start
// at any of blockKeywords.
std::vector<SshConfigRow> ParseKeywordFile(const std::string& text, const std::string& path,
                                           const std::vector<std::string>& blockKeywords);

}  // namespace System
}  // namespace SableCtl

TARN_PUBLIC_END
