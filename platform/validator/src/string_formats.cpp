#include "string_formats.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstring>
#include <string>

#include "ecma_regex.h"

namespace TarnValidator {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Reads exactly count digits at text[pos] into value.
bool ReadDigits(std::string_view text, size_t& pos, size_t count, int& value) {
    value = 0;
    for (size_t i = 0; i < count; ++i, ++pos) {
        if (pos >= text.size() || !IsDigit(text[pos])) {
            return false;
        }
        value = value * 10 + (text[pos] - '0');
    }
    return true;
}

bool ReadNumberThen(std::string_view text, size_t& pos, size_t count, int& value, char next) {
    return ReadDigits(text, pos, count, value) && pos < text.size() && text[pos++] == next;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// YYYY-MM-DD "T" HH:MM:SS[.fraction] ("Z" | +HH:MM | -HH:MM); T and Z in either case.
bool IsDateTime(std::string_view text) {
    size_t pos = 0;
    int year, month, day, hour, minute, second;
    if (!ReadNumberThen(text, pos, 4, year, '-') || !ReadNumberThen(text, pos, 2, month, '-') ||
        !ReadDigits(text, pos, 2, day) || pos >= text.size() || (text[pos++] | 0x20) != 't' ||
        !ReadNumberThen(text, pos, 2, hour, ':') || !ReadNumberThen(text, pos, 2, minute, ':') ||
        !ReadDigits(text, pos, 2, second)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 60) {
        return false;
    }
    if (pos < text.size() && text[pos] == '.') {
        size_t start = ++pos;
        while (pos < text.size() && IsDigit(text[pos])) {
            ++pos;
        }
        if (pos == start) {
            return false;
        }
    }
    if (pos < text.size() && (text[pos] | 0x20) == 'z') {
        return pos + 1 == text.size();
    }
    int offsetHour, offsetMinute;
    if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) {
        return false;
    }
    ++pos;
    return ReadNumberThen(text, pos, 2, offsetHour, ':') &&
           ReadDigits(text, pos, 2, offsetMinute) && pos == text.size() && offsetHour <= 23 &&
           offsetMinute <= 59;
}

bool IsHostname(std::string_view text) {
    if (text.empty() || text.size() > 253) {
        return false;
    }
    size_t labelStart = 0;
    for (size_t pos = 0; pos <= text.size(); ++pos) {
        if (pos == text.size() || text[pos] == '.') {
            size_t length = pos - labelStart;
            if (length == 0 || length > 63 || text[labelStart] == '-' || text[pos - 1] == '-') {
                return false;
            }
            labelStart = pos + 1;
        } else if (!IsAlpha(text[pos]) && !IsDigit(text[pos]) && text[pos] != '-') {
            return false;
        }
    }
    return true;
}

// Dotted decimal, four parts of 0 to 255 without leading zeros.
bool IsIpv4(std::string_view text) {
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (pos >= text.size() || text[pos++] != '.')) {
            return false;
        }
        size_t start = pos;
        int value = 0;
        while (pos < text.size() && IsDigit(text[pos]) && pos - start < 3) {
            value = value * 10 + (text[pos++] - '0');
        }
        size_t length = pos - start;
        if (length == 0 || value > 255 || (length > 1 && text[start] == '0')) {
            return false;
        }
    }
    return pos == text.size();
}

bool IsIpv6(std::string_view text) {
    if (text.size() > 45) {
        return false;
    }
    std::string copy(text);
    unsigned char address[16];
    return std::strlen(copy.c_str()) == copy.size() &&
           inet_pton(AF_INET6, copy.c_str(), address) == 1;
}

// An atom of RFC 5322's dot-atom form.
bool IsAtomCharacter(char c) {
    return IsAlpha(c) || IsDigit(c) || (c != '\0' && std::strchr("!#$%&'*+-/=?^_`{|}~", c));
}

bool IsEmail(std::string_view text) {
    size_t at = text.rfind('@');
    if (at == std::string_view::npos || at == 0 || at > 64) {
        return false;
    }
    std::string_view local = text.substr(0, at);
    if (local.front() == '.' || local.back() == '.' || local.find("..") != local.npos) {
        return false;
    }
    for (char c : local) {
        if (c != '.' && !IsAtomCharacter(c)) {
            return false;
        }
    }
    std::string_view domain = text.substr(at + 1);
    if (domain.size() > 2 && domain.front() == '[' && domain.back() == ']') {
        std::string_view literal = domain.substr(1, domain.size() - 2);
        return literal.substr(0, 5) == "IPv6:" ? IsIpv6(literal.substr(5)) : IsIpv4(literal);
    }
    return IsHostname(domain);
}

bool IsUriCharacter(char c) {
    return IsAlpha(c) || IsDigit(c) || (c != '\0' && std::strchr("-._~!$&'()*+,;=:@/?#[]", c));
}

// scheme ":" hier-part, every other character unreserved, reserved or a %HH escape.
bool IsUri(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || !IsAlpha(text[0])) {
        return false;
    }
    for (size_t i = 1; i < colon; ++i) {
        char c = text[i];
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size() || !IsHexDigit(text[i + 1]) || !IsHexDigit(text[i + 2])) {
                return false;
            }
            i += 2;
        } else if (!IsUriCharacter(text[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

StringFormat StringFormatNamed(std::string_view name) {
    static const struct {
        const char* name;
        StringFormat format;
    } kFormats[] = {
        {"date-time", StringFormat::kDateTime}, {"email", StringFormat::kEmail},
        {"hostname", StringFormat::kHostname},  {"ipv4", StringFormat::kIpv4},
        {"ipv6", StringFormat::kIpv6},          {"uri", StringFormat::kUri},
        {"regex", StringFormat::kRegex},
    };
    for (const auto& entry : kFormats) {
        if (name == entry.name) {
            return entry.format;
        }
    }
    return StringFormat::kUnknown;
}

bool MatchesFormat(StringFormat format, std::string_view text) {
    switch (format) {
        case StringFormat::kDateTime:
            return IsDateTime(text);
        case StringFormat::kEmail:
            return IsEmail(text);
        case StringFormat::kHostname:
            return IsHostname(text);
        case StringFormat::kIpv4:
            return IsIpv4(text);
        case StringFormat::kIpv6:
            return IsIpv6(text);
        case StringFormat::kUri:
            return IsUri(text);
        case StringFormat::kRegex:
            // Not through the pattern cache: these texts are data, not schema.
            return EcmaRegex(text).status() != EcmaRegex::Status::kSyntaxError;
        case StringFormat::kUnknown:
            break;
    }
    return true;
}

}  // namespace TarnValidator
