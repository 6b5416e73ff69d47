#pragma once

#include "platform/Error.h"

#include <string>

// A failure of the socket client; the message is the text the user reads.
class ESockError : public LarkspanError {
public:
    explicit ESockError(const std::string& message) : LarkspanError(message) {}
};

// A send, line read or capture that ended because it was cancelled (a time-out is a
// cancellation too).
class EAbortError : public ESockError {
public:
    explicit EAbortError(const std::string& message) : ESockError(message) {}
};

// The socket error numbers the client reports are those of Windows Sockets (10061 for a refused
// connection and so on), so that the texts read the same on every platform.
namespace sockerr {
constexpr int WouldBlock = 10035;

// The socket error number for an errno value of a socket call. An errno without a counterpart
// becomes 11100 + errno, which has no text ("Unknown Error No. ...").
int fromErrno(int error);
// The socket error number (11001 to 11004) for a getaddrinfo error code; 0 for 0.
int fromLookupError(int eaiError);
// The number, ":" and the text of the table; empty for 0; "Unknown Error No. N" for a number
// that is not in the table.
std::string text(int number);
} // namespace sockerr
