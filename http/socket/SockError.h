#pragma once

#include "platform/Error.h"

#include <string>

// What went wrong, for code that has to tell failures apart: the message is for people and
// may change, the kind may not.
enum class SockErrorKind {
    Other,
    Aborted,        // a send, line read or capture cancelled or timed out
    LookupTimedOut, // the name lookup ran into the time-out
    LookupCanceled, // the name lookup was cancelled
    LookupFailed,   // the name lookup found no address
    Tls,            // the TLS handshake failed, or TLS could not be set up
    Tunnel,         // the proxy did not open a tunnel to the host
};

// A failure of the socket client; the message is the text the user reads.
class ESockError : public LarkspanError {
public:
    explicit ESockError(const std::string& message, SockErrorKind kind = SockErrorKind::Other)
        : LarkspanError(message), kind_(kind) {}
    SockErrorKind kind() const { return kind_; }

private:
    SockErrorKind kind_;
};

// A send, line read or capture that ended because it was cancelled (a time-out is a
// cancellation too).
class EAbortError : public ESockError {
public:
    explicit EAbortError(const std::string& message) : ESockError(message, SockErrorKind::Aborted) {}
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
