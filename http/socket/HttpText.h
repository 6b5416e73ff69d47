#pragma once

#include "platform/Error.h"

#include <cstdint>
#include <string>
#include <string_view>

// Text helpers of the HTTP client: field splitting, integer conversion, Base64 and the
// encoding of the request target.

// A text that should have been an integer was not one. The message names the text.
class EConvertError : public LarkspanError {
public:
    explicit EConvertError(const std::string& text)
        : LarkspanError("'" + text + "' is not a valid integer value") {}
};

// The n-th field (counted from 1) of text when fields are separated by c. Two adjacent
// separators enclose an empty field; an empty text or a missing field gives "".
std::string NthField(std::string_view text, char c, int n);

// The 1-based position of the n-th occurrence of c, or text.size() + 1 when there are fewer.
std::size_t NthPosition(std::string_view text, char c, int n);

// Decimal text to a signed 32-bit value: an optional sign and at least one digit, nothing
// else. Anything that is not such a number, or does not fit, raises EConvertError.
std::int32_t StrToInt(std::string_view text);

// Like StrToInt, but gives fallback where StrToInt would raise.
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);

// The value of the first run of decimal digits in text (characters before it are skipped),
// clamped to maxValue so that any number of digits is safe. No digits give 0.
std::int64_t FirstDigitsClamped(std::string_view text, std::int64_t maxValue);

// Standard Base64 (RFC 2045 alphabet, "=" padding, no line breaks).
std::string Base64Encode(std::string_view bytes);

// The request target as it goes on the request line. A space becomes "%20"; CR, LF and every
// other control byte (0x00-0x1F, 0x7F) become "%XX" too, so that a value typed with a line
// break cannot split the request line or add header lines. Everything else is left as it is.
std::string EncodeRequestTarget(std::string_view target);
