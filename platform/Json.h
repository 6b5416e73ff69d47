#pragma once

#include <string>
#include <string_view>

// The text as a JSON string literal, quotes included. Valid UTF-8 passes through as it
// stands; '"', '\\' and the control bytes are escaped. A byte that is not part of a
// well-formed UTF-8 sequence becomes U+FFFD, so that the output is always valid JSON.
std::string jsonString(std::string_view text);
