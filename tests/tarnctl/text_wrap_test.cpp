// How tarnctl wraps long values for a terminal: after a comma or space of the piece's second
// half where there is one, else at the width, never inside a UTF-8 character.
#include <gtest/gtest.h>

#include "text_table.h"

namespace Tarnctl {
namespace {

using Pieces = std::vector<std::string>;

TEST(Wrapped, BreaksAfterACommaOrSpaceElseAtTheWidth) {
    EXPECT_EQ(Wrapped("", 10), Pieces{""});
    EXPECT_EQ(Wrapped("[1,2,3]", 0), Pieces{"[1,2,3]"});
    EXPECT_EQ(Wrapped("[1,2,3]", 7), Pieces{"[1,2,3]"});
    EXPECT_EQ(Wrapped(R"({"a":"b c","dd":[1,2]})", 10),
              (Pieces{R"({"a":"b )", R"(c","dd":[1)", R"(,2]})"}));
    // A comma in the first half would leave a sliver: the cut falls at the width.
    EXPECT_EQ(Wrapped("a,bcdefghijklm", 6), (Pieces{"a,bcde", "fghijk", "lm"}));
}

TEST(Wrapped, CountsCharactersNotBytes) {
    EXPECT_EQ(Wrapped("\xC3\xA5\xC3\xA5\xC3\xA5\xE2\x82\xAC", 2),
              (Pieces{"\xC3\xA5\xC3\xA5", "\xC3\xA5\xE2\x82\xAC"}));
}

}  // namespace
}  // namespace Tarnctl
