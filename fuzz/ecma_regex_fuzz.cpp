// libFuzzer target for the validator's regular expressions: the input is a pattern, a NUL byte
// and a subject. Any pattern compiles or is refused without crashing, a compiled one searches
// any subject, and on short ASCII patterns and subjects that the standard library's
// ECMAScript engine also accepts, both engines must agree on whether the subject matches.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <regex>
#include <string>

#include "ecma_regex.h"
#include "fuzz_host.h"

namespace {

// The standard engine backtracks: keep its inputs small, and leave out repeat counts that it
// unrolls into large automata.
bool ComparableWithStandard(const std::string& pattern, const std::string& subject) {
    if (pattern.size() > 24 || subject.size() > 12) {
        return false;
    }
    // The standard library reads a control escape (\cA, U+0001) as something else: "\\cA"
    // finds "\tA?" and misses "\x01". Patterns with one are not compared.
    if (pattern.find("\\c") != std::string::npos) {
        return false;
    }
    // Its backtracking is exponential in nested groups: a pattern with more than one group
    // could run for minutes there, so the comparison keeps to one.
    if (std::count(pattern.begin(), pattern.end(), '(') > 1) {
        return false;
    }
    int digits = 0;
    int braces = 0;
    for (char c : pattern + subject) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') {
            return false;
        }
        digits = std::isdigit(static_cast<unsigned char>(c)) ? digits + 1 : 0;
        braces += c == '{';
        if (digits > 2 || braces > 1) {
            return false;
        }
    }
    return true;
}

void Compare(const std::string& pattern, const std::string& subject, bool found) {
    std::regex standard;
    try {
        standard.assign(pattern, std::regex::ECMAScript);
    } catch (const std::regex_error&) {
        return;
    }
    if (std::regex_search(subject, standard) != found) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input = TarnFuzz::InputText(data, size);
    size_t split = input.find('\0');
    std::string pattern = input.substr(0, split);
    std::string subject = split == std::string::npos ? std::string() : input.substr(split + 1);
    TarnValidator::EcmaRegex regex(pattern);
    if (regex.status() != TarnValidator::EcmaRegex::Status::kOk) {
        if (regex.problem().empty() || regex.Search(subject)) {
            std::abort();
        }
        return 0;
    }
    bool found = regex.Search(subject);
    if (ComparableWithStandard(pattern, subject)) {
        Compare(pattern, subject, found);
    }
    return 0;
}
