// authorized_keys: "[options] <key type> <base64 key> [comment]" per line.
#include <algorithm>
#include <map>

#include "ssh_text.h"
#include "tarn/json/json.h"
#include "tarn/json/json_text.h"

namespace SableCtl {
namespace System {

namespace {

const char* const kKeyTypes[] = {"ssh-ed25519",
                                 "ssh-rsa",
                                 "ssh-dss",
                                 "ecdsa-sha2-nistp256",
                                 "ecdsa-sha2-nistp384",
                                 "ecdsa-sha2-nistp521",
                                 "sk-ssh-ed25519",
                                 "sk-ecdsa-sha2-nistp256"};
const std::string kSecurityKeySuffix = "@openssh.com";
const std::string kCertificateSuffix = "-cert-v01";

// A type of the list; security-key types end in "@openssh.com", certificates of any of them
// add "-cert-v01" before that suffix (or at the end).
bool IsKeyType(std::string_view word) {
    std::string name(word);
    bool openssh = name.size() > kSecurityKeySuffix.size() &&
                   name.compare(name.size() - kSecurityKeySuffix.size(), std::string::npos,
                                kSecurityKeySuffix) == 0;
    if (openssh) {
        name.resize(name.size() - kSecurityKeySuffix.size());
    }
    bool certificate = name.size() > kCertificateSuffix.size() &&
                       name.compare(name.size() - kCertificateSuffix.size(), std::string::npos,
                                    kCertificateSuffix) == 0;
    if (certificate) {
        name.resize(name.size() - kCertificateSuffix.size());
    }
    bool securityKey = name.compare(0, 3, "sk-") == 0;
    if (openssh != (securityKey || certificate)) {
        return false;
    }
    return std::any_of(std::begin(kKeyTypes), std::end(kKeyTypes),
                       [&name](const char* type) { return name == type; });
}

// Base64 digits, then only padding: the shape the key schema's pattern asks for.
bool IsBase64(std::string_view text) {
    size_t padding = text.find('=');
    std::string_view digits = text.substr(0, padding);
    return !digits.empty() &&
           std::all_of(digits.begin(), digits.end(),
                       [](char c) {
                           return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                  (c >= '0' && c <= '9') || c == '+' || c == '/';
                       }) &&
           (padding == std::string_view::npos ||
            text.find_first_not_of('=', padding) == std::string_view::npos);
}

// Takes the text up to the first blank outside double quotes (a backslash escapes the next
// character inside them) off the front of rest. Returns false for an unterminated quote.
bool TakeField(std::string_view& rest, std::string_view& field) {
    bool quoted = false;
    size_t i = 0;
    for (; i < rest.size() && (quoted || (rest[i] != ' ' && rest[i] != '\t')); ++i) {
        if (quoted && rest[i] == '\\') {
            ++i;
        } else if (rest[i] == '"') {
            quoted = !quoted;
        }
    }
    if (quoted || i > rest.size()) {
        return false;
    }
    field = rest.substr(0, i);
    rest = Trim(rest.substr(i));
    return true;
}

// The options field split at commas outside double quotes.
std::vector<std::string> SplitOptions(std::string_view options) {
    std::vector<std::string> result;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i <= options.size(); ++i) {
        if (i == options.size() || (!quoted && options[i] == ',')) {
            result.emplace_back(options.substr(start, i - start));
            start = i + 1;
        } else if (quoted && options[i] == '\\') {
            ++i;
        } else if (options[i] == '"') {
            quoted = !quoted;
        }
    }
    return result;
}

struct PublicKey {
    std::vector<std::string> options;
    std::string type;
    std::string key;
    std::string comment;
};

PublicKey ParseKeyLine(const TextLine& line, const std::string& path) {
    std::string_view rest = line.text;
    std::string_view field;
    PublicKey parsed;
    if (!TakeField(rest, field)) {
        ThrowLineError(path, line.number, "a quoted option is not closed");
    }
    if (!IsKeyType(field)) {
        parsed.options = SplitOptions(field);
        if (!TakeField(rest, field) || !IsKeyType(field)) {
            ThrowLineError(path, line.number, "no known key type (such as ssh-ed25519) found");
        }
    }
    parsed.type = std::string(field);
    if (!TakeField(rest, field) || !IsBase64(field)) {
        ThrowLineError(path, line.number, "the " + parsed.type + " key is not base64 text");
    }
    parsed.key = std::string(field);
    parsed.comment = std::string(rest);
    return parsed;
}

std::string KeyValue(const PublicKey& key) {
    rapidjson::Document value(rapidjson::kObjectType);
    auto& allocator = value.GetAllocator();
    value.AddMember("type", rapidjson::Value(key.type, allocator), allocator);
    value.AddMember("key", rapidjson::Value(key.key, allocator), allocator);
    if (!key.comment.empty()) {
        value.AddMember("comment", rapidjson::Value(key.comment, allocator), allocator);
    }
    if (!key.options.empty()) {
        rapidjson::Value options(rapidjson::kArrayType);
        for (const std::string& option : key.options) {
            options.PushBack(rapidjson::Value(option, allocator), allocator);
        }
        value.AddMember("options", options, allocator);
    }
    return TarnConfigStore::WriteJsonText(value);
}

}  // namespace

std::vector<SshConfigRow> ParseAuthorizedKeys(const std::string& text, const std::string& path) {
    std::vector<SshConfigRow> rows;
    std::map<std::string, int> seen;
    for (const TextLine& line : SignificantLines(text, path)) {
        PublicKey key = ParseKeyLine(line, path);
        auto [first, added] = seen.emplace(key.key, line.number);
        if (!added) {
            ThrowLineError(path, line.number,
                           "the key repeats the key of line " + std::to_string(first->second));
        }
        rows.push_back({key.key, KeyValue(key)});
    }
    return rows;
}

}  // namespace System
}  // namespace SableCtl
