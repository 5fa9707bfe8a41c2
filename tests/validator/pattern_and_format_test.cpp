// "pattern" (the ECMAScript dialect, matched by code point in linear time) and the checked
// "format"s, beyond what the schema test suite covers.
#include <gtest/gtest.h>

#include <string>

#include "tarn/json/json_text.h"
#include "tarn/validator/json_validator.h"

namespace {

enum class Outcome { kMatch, kNoMatch, kRefused };

// The errors of validating the string subject against {keyword: argument}.
rapidjson::Document ValidateString(const char* keyword, const std::string& argument,
                                   const std::string& subject) {
    rapidjson::Document schema(rapidjson::kObjectType);
    schema.AddMember(rapidjson::StringRef(keyword),
                     rapidjson::Value(argument, schema.GetAllocator()), schema.GetAllocator());
    rapidjson::Document value;
    value.SetString(subject, value.GetAllocator());
    rapidjson::Document errors;
    JsonValidator::Validate(schema, value, errors, {}, "");
    return errors;
}

Outcome ApplyPattern(const std::string& pattern, const std::string& subject) {
    rapidjson::Document errors = ValidateString("pattern", pattern, subject);
    if (errors.Empty()) {
        return Outcome::kMatch;
    }
    return errors[0]["errId"].GetInt() == JsonValidator::kInvalidKeyword ? Outcome::kRefused
                                                                         : Outcome::kNoMatch;
}

bool HasFormat(const std::string& format, const std::string& text) {
    return ValidateString("format", format, text).Empty();
}

struct PatternCase {
    const char* pattern;
    const char* subject;
    Outcome expected;
};

TEST(Pattern, EcmaScriptSyntaxMatchesByCodePoint) {
    const Outcome match = Outcome::kMatch;
    const Outcome none = Outcome::kNoMatch;
    const PatternCase cases[] = {
        {"^[a-c]{2,3}$", "abc", match},
        {"^[a-c]{2,3}$", "abcd", none},
        {"^[a-c]{2,3}$", "a", none},
        {"^[^0-9]+$", "ab1", none},
        {"^\\d+\\.\\d+$", "10.25", match},
        {"^\\w+$", "a-1", none},
        {"^[\\w-]+$", "a-b_c", match},
        {"^\\s\\S$", "\xC2\xA0x", match},  // U+00A0 is white space
        {"^(foo|bar)+baz$", "foobarbaz", match},
        {"^(?:foo|bar)$", "foobar", none},
        {"^(?<word>a)b$", "ab", match},
        {"^(?!-)[a-z0-9-]+$", "-ab", none},
        {"^(?!-)[a-z0-9-]+$", "ab-c", match},
        {"^(?=.*\\d)(?=.*[a-z]).{6,}$", "abc123", match},
        {"^(?=.*\\d)(?=.*[a-z]).{6,}$", "abcdef", none},
        {"\\bfoo\\b", "a foo b", match},
        {"\\bfoo\\b", "afoo", none},
        {"\\Bfoo", "afoo", match},
        {"^.$", "\xC3\xA9", match},          // é is one code point
        {"^.$", "\xF0\x9F\x92\xA9", match},  // so is U+1F4A9
        {"^.$", "\n", none},
        {"^\\u00e9\\x41$",
         "\xC3\xA9"
         "A",
         match},
        {"^\\ud83d\\udca9$", "\xF0\x9F\x92\xA9", match},
        {"^[\xC3\xA0-\xC3\xBF]+$", "\xC3\xA9\xC3\xA8", match},
        {"^a.*?b$", "axxb", match},
        {"^(a|)+$", "aaa", match},
        {"^(a*)*$", "aaaa", match},
        {"x{,2}", "x{,2}", match},  // not a quantifier: literal braces
        {"^[]$", "", none},
        {"^[^]$", "\n", match},
        {"^$", "", match},
    };
    for (const PatternCase& c : cases) {
        EXPECT_EQ(ApplyPattern(c.pattern, c.subject), c.expected)
            << c.pattern << " on \"" << c.subject << "\"";
    }
}

TEST(Pattern, UnsupportedAndInvalidPatternsAreRefused) {
    for (const char* pattern :
         {"(a)\\1", "(?<=a)b", "\\p{L}", "(", "[b-a]", "a**", "\\Z", "?", "x{3,1}", "(?=a)*"}) {
        EXPECT_EQ(ApplyPattern(pattern, "a"), Outcome::kRefused) << pattern;
    }
}

TEST(Pattern, LongSubjectsNeitherBacktrackNorRecurse) {
    std::string subject(1 << 20, 'a');
    EXPECT_EQ(ApplyPattern("^(a|aa)*c$", subject), Outcome::kNoMatch);
    EXPECT_EQ(ApplyPattern("^(a|aa)*$", subject), Outcome::kMatch);
    EXPECT_EQ(ApplyPattern("(?!a)", subject), Outcome::kMatch);  // at the end of the subject
}

TEST(Format, ChecksBeyondTheSuite) {
    EXPECT_TRUE(HasFormat("date-time", "2024-02-29T00:00:00Z"));
    EXPECT_FALSE(HasFormat("date-time", "2023-02-29T00:00:00Z"));
    EXPECT_TRUE(HasFormat("date-time", "2024-01-01T23:59:60.5+05:30"));
    EXPECT_FALSE(HasFormat("date-time", "2024-01-01 10:00:00Z"));
    EXPECT_TRUE(HasFormat("hostname", std::string(63, 'a') + ".example"));
    EXPECT_FALSE(HasFormat("hostname", std::string(64, 'a') + ".example"));
    EXPECT_FALSE(HasFormat("hostname", "a..b"));
    EXPECT_FALSE(HasFormat("ipv4", "01.2.3.4"));
    EXPECT_TRUE(HasFormat("ipv4", "0.0.0.0"));
    EXPECT_TRUE(HasFormat("ipv6", "::ffff:192.0.2.1"));
    EXPECT_FALSE(HasFormat("ipv6", "fe80::1%eth0"));
    EXPECT_FALSE(HasFormat("ipv6", "1::2::3"));
    EXPECT_TRUE(HasFormat("email", "a.b+c@example.com"));
    EXPECT_TRUE(HasFormat("email", "root@[192.0.2.1]"));
    EXPECT_FALSE(HasFormat("email", "a..b@example.com"));
    EXPECT_FALSE(HasFormat("email", "@example.com"));
    EXPECT_TRUE(HasFormat("uri", "urn:isbn:0451450523"));
    EXPECT_FALSE(HasFormat("uri", "http://a/%zz"));
    EXPECT_TRUE(HasFormat("regex", "(a)\\1"));  // valid syntax, though "pattern" refuses it
    EXPECT_FALSE(HasFormat("regex", "(a"));
}

}  // namespace
