#include "http/socket/HttpResponse.h"

#include "http/socket/HttpText.h"
#include "platform/Text.h"

std::string_view WithoutTerminator(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::int32_t ReplyNumberOf(std::string_view statusLine) {
    // The terminator is dropped first, so that a status line without a reason phrase
    // ("HTTP/1.0 404\r\n") still gives its status.
    std::int32_t value = StrToIntDef(NthField(WithoutTerminator(statusLine), ' ', 2), 0);
    return value >= -32768 && value <= 32767 ? value : 0;
}

bool ApplyHeaderLine(ResponseHeaderState& state, std::string_view line, std::int64_t maxLength) {
    const std::string upper = upperAscii(line);
    const std::string name = NthField(upper, ' ', 1);
    if (name == "SET-COOKIE:") {
        state.cookieValue = std::string(WithoutTerminator(line.substr(12)));
    } else if (name == "LOCATION:") {
        state.locationValue = std::string(WithoutTerminator(line.substr(10)));
        state.hasLocation = true;
    } else if (name == "CONTENT-LENGTH:") {
        std::string_view rest = upper;
        rest.remove_prefix(std::min(rest.size(), rest.find("ENGTH:") + 7));
        state.bytesTotal = FirstDigitsClamped(rest, maxLength);
    }
    return line.empty() || line == "\n" || line == "\r\n";
}
