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

TEST(Text, PrintableReplacesControlsOverridesAndInvalidUtf8) {
    const std::string r = "\xEF\xBF\xBD";
    const struct {
        std::string in, out;
    } cases[] = {
        {"200 OK", "200 OK"},
        {"a\tb", "a\tb"},
        {"\x1b[2J", r + "[2J"},
        {"bell\x07", "bell" + r},
        {"line\r\nbreak", "line" + r + r + "break"},
        {std::string("nul\0x", 5), "nul" + r + "x"},
        {"del\x7f", "del" + r},
        {"c1 \xC2\x9B"
         "31m",
         "c1 " + r + "31m"},
        {"c1 \xC2\x80", "c1 " + r},
        // Other characters stay; bytes that are not UTF-8 go, one replacement each.
        {"caf\xC3\xA9 \xC2\xA0 \xE2\x82\xAC \xF0\x9F\x98\x80",
         "caf\xC3\xA9 \xC2\xA0 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"end\xC2", "end" + r},
        {"raw \xFF\xFE", "raw " + r + r},
        {"overlong \xC0\xAF", "overlong " + r + r},
        {"surrogate \xED\xA0\x80", "surrogate " + r + r + r},
        // The marks, overrides and isolates of the text's direction.
        {"txt.exe\xE2\x80\xAEgpj", "txt.exe" + r + "gpj"},
        {"\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD", r + r + r + r},
        {"\xE2\x81\xA6x\xE2\x81\xA9 \xE2\x80\x8E\xE2\x80\x8F \xD8\x9C", r + "x" + r + " " + r + r + " " + r},
        {"https://x/?q=1", "https://x/?q=1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printable(c.in), c.out) << c.in;
        EXPECT_EQ(printable(c.out), c.out) << c.in; // the filter changes nothing twice
    }
    // A field of a tab-separated line also loses its TABs.
    EXPECT_EQ(printableField("a\tb\x1b[0m\r\n\xE2\x80\xAE\xFF"), "a b" + r + "[0m" + r + r + r + r);
}
