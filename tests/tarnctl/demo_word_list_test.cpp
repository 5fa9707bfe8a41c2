// The value checks of the demo host's native plugins: what a word must not hold for the line
// it goes to, and the field and reason each problem names. The tarnctl demo-host tests see the
// NTP plugin's apply refuse such a value.
#include <gtest/gtest.h>

#include "word_list.h"

namespace DemoHost {
namespace {

const WordList kServers{"servers", " #="};

// "field id-suffix details..." of each problem.
std::vector<std::string> Described(const std::string& config) {
    std::vector<std::string> described;
    for (const Problem& problem : WordListProblems(kServers, config)) {
        std::string text = problem.field + " " + problem.id.substr(problem.id.rfind('.') + 1);
        for (const std::string& detail : problem.details) {
            text += " " + detail;
        }
        described.push_back(text);
    }
    return described;
}

TEST(DemoWordList, EachWordThatWouldBreakItsLineIsAProblem) {
    EXPECT_TRUE(Described(R"({"servers": ["ntp.example.net", "192.0.2.1"]})").empty());
    EXPECT_EQ(Described(R"({"servers": ["a b", "a\tb", "x#", "y=1", "", 7, "z\u007f"]})"),
              (std::vector<std::string>{
                  "servers/0 separator U+0020", "servers/1 control-character U+0009",
                  "servers/2 separator '#'", "servers/3 separator '='", "servers/4 empty",
                  "servers/5 wrong-type string", "servers/6 control-character U+007F"}));
    EXPECT_EQ(Described(R"({"servers": "ntp.example.net"})"),
              std::vector<std::string>{"servers wrong-type array"});
    EXPECT_EQ(Described(R"({"server": []})"), std::vector<std::string>{"servers missing"});
    EXPECT_EQ(Described(R"(["a"])"), std::vector<std::string>{" wrong-type object"});
}

}  // namespace
}  // namespace DemoHost
