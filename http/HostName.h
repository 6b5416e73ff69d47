#pragma once

#include <optional>
#include <string>
#include <string_view>

// A host name in the form DNS and every request use: each label that holds non-ASCII letters
// (UTF-8) in its A-label form, "xn--" and the label's Punycode (RFC 3492), ASCII letters in
// lower case first. Labels of ASCII alone are only lower-cased. Nothing for text that is not
// well-formed UTF-8, holds a character no terminal may show as it is (controls, direction
// overrides), or gives a label longer than DNS allows (63 bytes).
std::optional<std::string> asciiHostName(std::string_view host);

// The Punycode of a sequence of code points (RFC 3492, 6.3), without the "xn--"; nothing when
// the counts overflow.
std::optional<std::string> punycode(const std::u32string& codePoints);
