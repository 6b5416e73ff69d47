#pragma once

#include <string>
#include <string_view>

// The text as a JSON string literal, quotes included. Valid UTF-8 passes through as it
// stands; '"', '\\', the control characters (C1 too) and the marks and overrides of the text's
// direction are escaped, so that the line is safe on a terminal and decodes to the same text. A
// byte that is not part of a well-formed UTF-8 sequence becomes U+FFFD, so that the output is
// always valid JSON.
std::string jsonString(std::string_view text);
