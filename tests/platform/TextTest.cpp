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
