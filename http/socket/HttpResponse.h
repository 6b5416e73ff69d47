#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What the header of a response tells the client. The client feeds the status line and then
// every header line, each with its terminator, as read from the connection.
struct ResponseHeaderState {
    std::int32_t replyNumber = 0;
    std::int64_t bytesTotal = 0;
    std::string cookieValue;
    bool hasLocation = false;
    std::string locationValue;
};

// The status code of a status line: its second space-separated field, read without the line
// terminator; 0 when that is not a number from -32768 to 32767.
std::int32_t ReplyNumberOf(std::string_view statusLine);

// Takes one header line into state. Returns true when the line ends the header: "\n", "\r\n"
// or "". Names are matched as the server should send them: the name, a colon, a space.
// A Content-Length larger than maxLength is taken as maxLength.
bool ApplyHeaderLine(ResponseHeaderState& state, std::string_view line, std::int64_t maxLength);

// The line without its "\n" and a "\r" before it.
std::string_view WithoutTerminator(std::string_view line);
