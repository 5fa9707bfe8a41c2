// The pattern engine against the standard library's ECMAScript engine on every combination
// of a small grammar (atoms, quantifiers, pairs, anchors) and every short subject over a small
// alphabet, plus what the standard engine cannot judge: code points, refusals with reasons,
// subjects that are not UTF-8.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "ecma_regex.h"

namespace {

using TarnValidator::EcmaRegex;

const std::vector<std::string> kAtoms = {"a",    "b",     ".",     "[ab]",   "[^a]",
                                         "\\d",  "\\W",   "\\s",   "(a|b1)", "(?:ab)",
                                         "(a|)", "(?=a)", "(?!b)", "\\b"};
const std::vector<std::string> kQuantifiers = {"", "*", "+", "?", "{2}", "{0,2}", "{1,}", "+?"};

// Every string of length 0 to 3 over "ab1 ".
std::vector<std::string> Subjects() {
    std::vector<std::string> subjects{""};
    for (size_t begin = 0, length = 1; length <= 3; ++length) {
        size_t end = subjects.size();
        for (size_t i = begin; i < end; ++i) {
            for (char c : std::string("ab1 ")) {
                subjects.push_back(subjects[i] + c);
            }
        }
        begin = end;
    }
    return subjects;
}

// Compares the engines on pattern over every subject; returns the number of disagreements
// (each one reported).
int Disagreements(const std::string& pattern, const std::vector<std::string>& subjects) {
    std::regex standard;
    try {
        standard.assign(pattern, std::regex::ECMAScript);
    } catch (const std::regex_error&) {
        return 0;  // only patterns both engines accept are compared
    }
    EcmaRegex ours(pattern);
    if (ours.status() != EcmaRegex::Status::kOk) {
        // Lookahead and group quantifiers the standard engine accepts are ours to refuse only
        // when the dialect forbids them.
        ADD_FAILURE() << "refused \"" << pattern << "\": " << ours.problem();
        return 1;
    }
    int wrong = 0;
    for (const std::string& subject : subjects) {
        bool expected = std::regex_search(subject, standard);
        if (ours.Search(subject) != expected) {
            ADD_FAILURE() << "\"" << pattern << "\" on \"" << subject << "\": expected "
                          << (expected ? "a match" : "no match");
            if (++wrong > 5) {
                break;
            }
        }
    }
    return wrong;
}

TEST(EcmaRegex, AgreesWithTheStandardEngineOnEveryPairOfQuantifiedAtoms) {
    std::vector<std::string> subjects = Subjects();
    std::vector<std::string> pieces;
    for (const auto& atom : kAtoms) {
        for (const auto& quantifier : kQuantifiers) {
            // A quantified assertion is a syntax error in the dialect (checked below).
            if (atom[0] == '(' && atom[1] == '?' && atom[2] != ':' && !quantifier.empty()) {
                continue;
            }
            if (atom == "\\b" && !quantifier.empty()) {
                continue;
            }
            pieces.push_back(atom + quantifier);
        }
    }
    int wrong = 0;
    for (const auto& first : pieces) {
        wrong += Disagreements(first, subjects);
        wrong += Disagreements("^" + first + "$", subjects);
        for (const auto& second : pieces) {
            wrong += Disagreements(first + second, subjects);
            if (wrong > 20) {
                return;  // enough to go on
            }
        }
    }
    for (const char* alternation :
         {"a|b|", "^a|b$", "(^a|b$)", "^(a|ab)(c|bcd)?$", "(a+|b+)+1", "[a-b1]{2}|^ ", "[\\d ]+$",
          "(?:a|b)*?1", "(?=(?!a)[ab1 ])b", "(?=a(?=b))ab|1", "(?!(?=a+1)a)a"}) {
        wrong += Disagreements(alternation, subjects);
    }
    EXPECT_EQ(0, wrong);
}

TEST(EcmaRegex, MatchesCodePointsAndSurvivesSubjectsThatAreNotUtf8) {
    EXPECT_TRUE(EcmaRegex("^.{2}$").Search("\xC3\xA9\xE2\x82\xAC"));  // é€: two code points
    EXPECT_FALSE(EcmaRegex("^.{4}$").Search("\xC3\xA9\xE2\x82\xAC"));
    EXPECT_TRUE(EcmaRegex("^[^a]$").Search("\xF0\x9F\x92\xA9"));
    EXPECT_TRUE(EcmaRegex("[\\u00e0-\\u00ff]").Search("caf\xC3\xA9"));
    EXPECT_FALSE(EcmaRegex("^\\w+$").Search("caf\xC3\xA9"));  // \w is ASCII only
    for (const char* broken : {"\xC3",
                               "a\xFF"
                               "b",
                               "\xED\xA0\x80", "\xC0\x80"}) {
        EcmaRegex any(".*");
        any.Search(broken);  // an answer, whichever: never a crash or an endless loop
        EXPECT_FALSE(EcmaRegex("^\\d$").Search(broken)) << broken;
    }
}

TEST(EcmaRegex, RefusedPatternsSayWhyAndNeverMatch) {
    for (const char* pattern : {"(a)\\1", "(?<=a)b", "(?<!a)b", "\\p{L}", "\\k<x>"}) {
        EcmaRegex regex(pattern);
        EXPECT_EQ(regex.status(), EcmaRegex::Status::kUnsupported) << pattern;
        EXPECT_FALSE(regex.problem().empty()) << pattern;
        EXPECT_FALSE(regex.Search("aab")) << pattern;
    }
    for (const char* pattern :
         {"(", ")", "[", "a{2,1}", "*", "a|*", "(?:", "\\", "[z-a]", "(?=a)+", "\\u{110000}"}) {
        EcmaRegex regex(pattern);
        EXPECT_EQ(regex.status(), EcmaRegex::Status::kSyntaxError) << pattern;
        EXPECT_FALSE(regex.problem().empty()) << pattern;
        EXPECT_FALSE(regex.Search("")) << pattern;
    }
}

TEST(EcmaRegex, RepeatCountsExpandUpToALimitAndNestedLoopsAndLookaheadsStayPolynomial) {
    EcmaRegex counted("^(a{1,10}){1,50}$");
    ASSERT_EQ(counted.status(), EcmaRegex::Status::kOk) << counted.problem();
    EXPECT_TRUE(counted.Search(std::string(500, 'a')));
    EXPECT_FALSE(counted.Search(std::string(501, 'a')));
    // An empty body repeated a huge count compiles to nothing at once.
    EcmaRegex empty("x(){66666666666666666666666666666}y");
    ASSERT_EQ(empty.status(), EcmaRegex::Status::kOk) << empty.problem();
    EXPECT_TRUE(empty.Search("xy"));
    EcmaRegex huge("^(a{1,100}){1,200}$");
    EXPECT_EQ(huge.status(), EcmaRegex::Status::kUnsupported);
    EXPECT_EQ(huge.problem(), "the pattern is too large once its repetitions are expanded");

    std::string subject(20000, 'a');
    EXPECT_FALSE(EcmaRegex("^(a*)*(a*)*b$").Search(subject));
    EXPECT_TRUE(EcmaRegex("(((a*)*)*)*$").Search(subject));

    // A lookahead inside a loop inside a lookahead: each is decided once per position, so a
    // search over 3 000 characters takes millions of steps, not the length cubed.
    std::string noX(3000, 'a');
    EXPECT_FALSE(EcmaRegex("(?=(?:(?=.*x).)*y)").Search(noX));
    EXPECT_TRUE(EcmaRegex("(?=(?:(?!.*x).)*$)a$").Search(noX));
}

}  // namespace
