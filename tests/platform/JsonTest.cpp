#include "platform/Json.h"

#include <gtest/gtest.h>

TEST(JsonString, EscapesQuotesBackslashesAndControlBytes) {
    EXPECT_EQ(jsonString(""), "\"\"");
    EXPECT_EQ(jsonString("a \"b\" c\\d"), R"("a \"b\" c\\d")");
    EXPECT_EQ(jsonString("l1\r\nl2\tx\b\f"), R"("l1\r\nl2\tx\b\f")");
    EXPECT_EQ(jsonString(std::string("\x01\x1f\x7f", 3)), R"("\u0001\u001f\u007f")");
    EXPECT_EQ(jsonString(std::string("a\0b", 3)), R"("a\u0000b")");
    // "/" and the other printable characters need no escape.
    EXPECT_EQ(jsonString("http://x/?a=1&b=%2F ~"), "\"http://x/?a=1&b=%2F ~\"");
}

TEST(JsonString, PassesValidUtf8AndReplacesEveryOtherByte) {
    const std::string valid = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
    EXPECT_EQ(jsonString(valid), "\"" + valid + "\"");
    // A lone byte of the system's old code page ("é" in Windows-1252).
    EXPECT_EQ(jsonString("caf\xE9"), R"("caf\ufffd")");
    // A continuation byte alone, a sequence cut short at the end, and one cut by ASCII.
    EXPECT_EQ(jsonString("\x80"), R"("\ufffd")");
    EXPECT_EQ(jsonString("a\xE2\x82"), R"("a\ufffd\ufffd")");
    EXPECT_EQ(jsonString("\xC3"
                         "A"),
              R"("\ufffdA")");
    // Overlong forms, surrogates and code points beyond U+10FFFF are not characters.
    EXPECT_EQ(jsonString("\xC0\xAF"), R"("\ufffd\ufffd")");
    EXPECT_EQ(jsonString("\xE0\x80\xAF"), R"("\ufffd\ufffd\ufffd")");
    EXPECT_EQ(jsonString("\xED\xA0\x80"), R"("\ufffd\ufffd\ufffd")");
    EXPECT_EQ(jsonString("\xF4\x90\x80\x80"), R"("\ufffd\ufffd\ufffd\ufffd")");
    EXPECT_EQ(jsonString("\xF8\x88\x80\x80\x80"), R"("\ufffd\ufffd\ufffd\ufffd\ufffd")");
    // The replacement does not swallow the valid text after a bad byte.
    EXPECT_EQ(jsonString("\xFF\xC3\xA9"), "\"\\ufffd\xC3\xA9\"");
    // C1 controls and direction overrides are escaped: the same text, harmless on a terminal.
    EXPECT_EQ(jsonString("a\xC2\x9B"
                         "1m\xE2\x80\xAE\xE2\x81\xA6"),
              R"("a\u009b1m\u202e\u2066")");
}
