#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Byte-text helpers shared by every layer. Text is UTF-8; case folding touches a-z only.

char upperAscii(char c);
std::string upperAscii(std::string_view s);
char lowerAscii(char c);
std::string lowerAscii(std::string_view s);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The longest prefix of at most maxBytes bytes that does not cut a UTF-8 sequence. Only the
// bytes of the one character the cut falls into are given up, even in text that is not UTF-8.
std::size_t utf8Prefix(std::string_view s, std::size_t maxBytes);
// The number of characters (not bytes) of UTF-8 text.
std::size_t utf8Length(std::string_view s);

// The text without the given blanks at its start and its end.
std::string_view trimmed(std::string_view s, std::string_view blanks = " \t");
// The number in decimal with a comma between groups of three digits: 1,000,000.
std::string withThousands(std::uint64_t n);

// The text with "\\" for each backslash and "\t", "\n", "\r" for those of tab, LF and CR that
// controls names, so that it fits on one line (or in one tab-separated field).
std::string backslashEscaped(std::string_view text, std::string_view controls);

// The length of the well-formed UTF-8 sequence that starts at s[i] (1 for ASCII), or 0 when
// the byte there starts none (a stray continuation byte, overlong forms, surrogates, code points
// above U+10FFFF, a sequence cut off by the end).
std::size_t utf8SequenceLength(std::string_view s, std::size_t i);
// The code point of one well-formed sequence.
char32_t utf8CodePoint(std::string_view sequence);
// Whether the character must not reach a terminal as it is: the C0 controls but TAB (so LF, CR
// and ESC too), DEL, the C1 controls, and the marks, embeddings, overrides and isolates that
// change the direction of the text around them (U+061C, U+200E, U+200F, U+202A..U+202E,
// U+2066..U+2069).
bool unsafeOnTerminal(char32_t c);

// Text that came from the network, made safe to show on a terminal, in a log line or a window:
// the one filter that every such text passes on its way out, in every format but JSON (whose
// escapes keep it exact). Each character that is unsafeOnTerminal, and each byte that is not
// part of well-formed UTF-8, becomes U+FFFD, so no escape sequence reaches a terminal, no line
// break forges a line and no override turns the text around. TAB stays.
std::string printable(std::string_view text);
// The same for one field of a tab-separated line, where a TAB also becomes a space so that the
// fields after it stay in their columns.
std::string printableField(std::string_view text);

// Replaces every occurrence of from by to, left to right, without rescanning the result.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

// Text for HTML and XML: "&", "<", ">", double and single quotes become references, so that
// it can stand in element content and in quoted attribute values alike.
std::string htmlEscape(std::string_view text);

// The lines of a text, each ended by CR LF, CR or LF. A break at the very end ends the last
// line; it does not start an empty one. The views point into text.
std::vector<std::string_view> splitLines(std::string_view text);
