// libFuzzer target for the validator's regular expressions: the input is a pattern, a NUL byte
// and a subject. Any pattern compiles or is refused without crashing, and a compiled one
// searches any subject. Where the standard library's ECMAScript engine is a fair reference
// (see ComparableWithStandard), both engines must agree on whether the subject matches.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>

#include "ecma_regex.h"
#include "fuzz_host.h"

namespace {

// The standard engine backtracks: the paths it may try grow with the subject as a power of
// the number of quantifiers, and exponentially under a repeated group. A comparison is made
// only when the estimate below stays under this many steps, which keeps the slowest shapes
// timed there (docs/fuzzing.md) under 0.4 ms.
constexpr double kMaxStandardSteps = 1e6;

// The counts a quantifier at pattern[pos] allows, and where it ends; a missing quantifier
// allows exactly one, and an unbounded one at most one more than the subject's length (an
// iteration that matches nothing ends the loop).
struct Quantifier {
    double low = 1;
    double high = 1;
    size_t end = 0;
};

Quantifier ReadQuantifier(const std::string& pattern, size_t pos, double length) {
    Quantifier q{1, 1, pos};
    char c = pos < pattern.size() ? pattern[pos] : '\0';
    if (c == '*' || c == '+' || c == '?') {
        q.low = c == '+' ? 1 : 0;
        q.high = c == '?' ? 1 : length + 1;
        q.end = pos + 1;
    } else if (c == '{') {
        size_t close = pattern.find('}', pos);
        std::string inside =
            close == std::string::npos ? "" : pattern.substr(pos + 1, close - pos - 1);
        size_t comma = inside.find(',');
        if (inside.empty() || inside.find_first_not_of("0123456789,") != std::string::npos ||
            comma == 0 ||
            (comma != std::string::npos && inside.find(',', comma + 1) != std::string::npos)) {
            return q;
        }
        q.low = std::stod(inside.substr(0, comma));
        // An open count still makes at least its lower number of iterations.
        q.high = comma == std::string::npos  ? q.low
                 : comma + 1 < inside.size() ? std::stod(inside.substr(comma + 1))
                                             : std::max(q.low, length + 1);
        q.end = close + 1;
    } else {
        return q;
    }
    if (q.end < pattern.size() && pattern[q.end] == '?') {
        ++q.end;  // a lazy quantifier tries the same counts in another order
    }
    return q;
}

// Where the atom starting at pattern[pos] ends (an escape, a class or one character).
size_t AtomEnd(const std::string& pattern, size_t pos) {
    if (pattern[pos] == '\\') {
        return std::min(pos + 2, pattern.size());
    }
    if (pattern[pos] != '[') {
        return pos + 1;
    }
    size_t i = pos + 1;
    while (i < pattern.size() && pattern[i] != ']') {
        i += pattern[i] == '\\' ? 2 : 1;
    }
    return std::min(i + 1, pattern.size());
}

// An upper estimate of the steps a backtracking search makes for a pattern with at most one
// group on a subject of length code units: every start position, times the iteration counts
// of each quantifier, times the branches of each alternative; a repeated group multiplies the
// choices inside it once per iteration; each path costs up to the length of the pattern.
double StandardSteps(const std::string& pattern, double length) {
    double outside = 1;
    double inside = 1;
    bool inGroup = false;
    for (size_t pos = 0; pos < pattern.size();) {
        char c = pattern[pos];
        double& factor = inGroup ? inside : outside;
        if (c == '|') {
            factor *= 2;
            ++pos;
            continue;
        }
        if (c == '(') {
            inGroup = true;
            pos += pattern.compare(pos, 3, "(?:") == 0 || pattern.compare(pos, 3, "(?=") == 0 ||
                           pattern.compare(pos, 3, "(?!") == 0
                       ? 3
                       : 1;
            continue;
        }
        bool closesGroup = c == ')';
        size_t end = closesGroup ? pos + 1 : AtomEnd(pattern, pos);
        Quantifier q = ReadQuantifier(pattern, end, length);
        // An atom outside the group consumes one character per iteration; the group may
        // match nothing, so every iteration up to its highest count can take each of its
        // choices.
        double counts = std::max(std::min(q.high, length) - q.low + 1, 1.0);
        if (closesGroup) {
            inGroup = false;
            outside *= counts * std::pow(inside, std::max(q.high, 1.0));
        } else {
            factor *= counts;
        }
        pos = std::max(q.end, end);
    }
    if (inGroup) {
        outside *= inside;
    }
    return (length + 1) * outside * static_cast<double>(pattern.size() + 1);
}

// Whether the standard engine's answer can be trusted for this input: it reads ECMAScript
// differently in a few places, and its backtracking must stay cheap.
bool ComparableWithStandard(const std::string& pattern, const std::string& subject) {
    if (pattern.size() > 32 || subject.size() > 16) {
        return false;
    }
    for (char c : pattern + subject) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') {
            return false;
        }
    }
    // A control escape (\cA, U+0001) is read as something else there: "\\cA" finds "\tA?"
    // and misses "\x01" (corpus: control-escape-differs-in-std-regex).
    if (pattern.find("\\c") != std::string::npos) {
        return false;
    }
    // A \u escape names a UTF-16 unit there, cut down to a char: "\\u0e09" finds a tab (corpus:
    // unicode-escape-differs-in-std-regex).
    if (pattern.find("\\u") != std::string::npos) {
        return false;
    }
    // A lookahead is searched there as if the subject began where it stands, so ^ and \b
    // inside it hold at that position: "a(?=^)" finds "ab" (corpus:
    // caret-in-lookahead-differs-in-std-regex).
    if ((pattern.find("(?=") != std::string::npos || pattern.find("(?!") != std::string::npos) &&
        (pattern.find('^') != std::string::npos || pattern.find("\\b") != std::string::npos ||
         pattern.find("\\B") != std::string::npos)) {
        return false;
    }
    // POSIX bracket expressions ([:alpha:], [=a=], [.a.]) are read inside a class there;
    // ECMAScript has none, so "[[:digit:]]" is a class of "[:digt" followed by "]" and does
    // not find "5" (corpus: posix-class-differs-in-std-regex).
    for (const char* posix : {"[:", "[=", "[."}) {
        if (pattern.find(posix) != std::string::npos) {
            return false;
        }
    }
    // Nested groups are left out, which keeps the estimate simple; repeat counts of more
    // than two digits are unrolled into large automata there.
    if (std::count(pattern.begin(), pattern.end(), '(') > 1) {
        return false;
    }
    int digits = 0;
    for (char c : pattern) {
        digits = c >= '0' && c <= '9' ? digits + 1 : 0;
        if (digits > 2) {
            return false;
        }
    }
    return StandardSteps(pattern, static_cast<double>(subject.size())) <= kMaxStandardSteps;
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
