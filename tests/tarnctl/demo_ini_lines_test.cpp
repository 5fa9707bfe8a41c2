// The INI editing of the demo host's NTP plugin: one setting changes, every other line of a
// real timesyncd.conf stays as it was.
#include <gtest/gtest.h>

#include "ini_lines.h"

namespace DemoHost {
namespace {

using Lines = std::vector<std::string>;

const Lines kTimesyncd = {"#  This file is part of systemd.",
                          "",
                          "[Time]",
                          "#NTP=",
                          "#FallbackNTP=0.pool.ntp.example",
                          "RootDistanceMaxSec=5",
                          "[Other]",
                          "NTP=elsewhere"};

TEST(DemoIniLines, FindsTheLastActiveSettingOfTheSection) {
    std::string value;
    EXPECT_FALSE(FindIniValue(kTimesyncd, "Time", "NTP", value));
    EXPECT_TRUE(FindIniValue(kTimesyncd, "Time", "RootDistanceMaxSec", value));
    EXPECT_EQ(value, "5");
    Lines twice = {"[Time]", "NTP = a b ", "; NTP=c", "NTP=d e"};
    EXPECT_TRUE(FindIniValue(twice, "Time", "NTP", value));
    EXPECT_EQ(value, "d e");
}

TEST(DemoIniLines, SettingChangesOnlyItsLineAndRemovingRoundTrips) {
    Lines lines = kTimesyncd;
    SetIniValue(lines, "Time", "NTP", "ntp1.example.net 192.0.2.1");
    Lines expected = kTimesyncd;
    expected.insert(expected.begin() + 6, "NTP=ntp1.example.net 192.0.2.1");
    EXPECT_EQ(lines, expected);
    std::string value;
    EXPECT_TRUE(FindIniValue(lines, "Time", "NTP", value));
    EXPECT_EQ(value, "ntp1.example.net 192.0.2.1");

    SetIniValue(lines, "Time", "NTP", "192.0.2.2");
    EXPECT_EQ(lines[6], "NTP=192.0.2.2");
    RemoveIniValue(lines, "Time", "NTP");
    EXPECT_EQ(lines, kTimesyncd);
}

TEST(DemoIniLines, DuplicatesCollapseAndMissingSectionsAreAdded) {
    Lines lines = {"[Time]", "NTP=a", "# keep", "NTP=b"};
    SetIniValue(lines, "Time", "NTP", "c");
    EXPECT_EQ(lines, (Lines{"[Time]", "NTP=c", "# keep"}));

    Lines empty = {"# only a comment"};
    SetIniValue(empty, "Time", "NTP", "c");
    EXPECT_EQ(empty, (Lines{"# only a comment", "[Time]", "NTP=c"}));
    Lines header = {"[Time]", "# no settings yet"};
    SetIniValue(header, "Time", "NTP", "c");
    EXPECT_EQ(header, (Lines{"[Time]", "NTP=c", "# no settings yet"}));
}

}  // namespace
}  // namespace DemoHost
