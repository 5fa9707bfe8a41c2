// The compiled form of an EcmaRegex: instruction lists for a Thompson NFA (the main pattern
// and one list per lookahead) plus the character classes they test. Built once by the
// pattern compiler, read-only afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace TarnValidator {

enum class RegexOp : uint8_t {
    kChar,             // consume code point a
    kClass,            // consume a code point of class a
    kAny,              // consume any code point but a line terminator
    kSplit,            // continue at a and at b
    kJump,             // continue at a
    kInputStart,       // ^
    kInputEnd,         // $
    kWordBoundary,     // \b
    kNotWordBoundary,  // \B
    kLookahead,        // continue when lookahead a holds at this position
    kMatch,
};

struct RegexInst {
    RegexOp op;
    uint32_t a = 0;
    uint32_t b = 0;
};

struct RegexClass {
    std::vector<std::pair<char32_t, char32_t>> ranges;  // sorted, disjoint, inclusive
    bool negated = false;

    bool Contains(char32_t cp) const {
        bool inside = false;
        for (const auto& range : ranges) {
            if (cp < range.first) {
                break;
            }
            if (cp <= range.second) {
                inside = true;
                break;
            }
        }
        return inside != negated;
    }
};

struct RegexLookahead {
    uint32_t code;  // index into RegexProgram::codes
    bool negated;
};

struct RegexProgram {
    std::vector<std::vector<RegexInst>> codes;  // codes[0] is the whole pattern
    std::vector<RegexClass> classes;
    std::vector<RegexLookahead> lookaheads;
    bool anchoredAtStart = false;  // the pattern begins with ^ in every alternative
};

// Compiles pattern into program. On failure returns false and sets unsupported (true when the
// pattern is valid ECMAScript that this matcher does not handle) and problem.
bool CompileEcmaPattern(std::string_view pattern, RegexProgram& program, bool& unsupported,
                        std::string& problem);

}  // namespace TarnValidator
