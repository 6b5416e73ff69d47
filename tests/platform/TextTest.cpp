#include "platform/Text.h"

#include <gtest/gtest.h>

TEST(Text, CaseFoldingTouchesOnlyAsciiLetters) {
    EXPECT_EQ(upperAscii("abz{`é"), "ABZ{`é");
    EXPECT_TRUE(equalsIgnoringCase("Settings", "SETTINGS"));
    EXPECT_FALSE(equalsIgnoringCase("é", "É"));
}

TEST(Text, Utf8PrefixNeverCutsACharacter) {
    std::string s = "ab\xC3\xA9"
                    "c"; // "abéc"
    EXPECT_EQ(utf8Prefix(s, 3), 2u);
    EXPECT_EQ(utf8Prefix(s, 4), 4u);
    EXPECT_EQ(utf8Prefix(s, 10), 5u);
    EXPECT_EQ(utf8Length(s), 4u);
}

TEST(Text, ReplaceAllDoesNotRescanItsOutput) {
    EXPECT_EQ(replaceAll("a:b:c", ":", "%3A"), "a%3Ab%3Ac");
    EXPECT_EQ(replaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(replaceAll("", "x", "y"), "");
}

TEST(Text, SplitLinesTakesEveryKindOfBreakOnce) {
    using Lines = std::vector<std::string_view>;
    EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    // CR LF is one break, LF CR two; a break at the end starts no empty line.
    EXPECT_EQ(splitLines("a\n\rb\r\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(splitLines("\n\n"), (Lines{"", ""}));
    EXPECT_EQ(splitLines(""), Lines{});
}
