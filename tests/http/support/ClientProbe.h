#pragma once

#include "http/socket/HttpClient.h"

#include <string>
#include <vector>

// Records the events of an HTTP client as short names ("Connect", "Success(3)", ...).
//
// events() lists them without OnDisconnect and with repeats in a row counted once, so that
// tests compare the order of events without depending on how the body was chunked: the
// server's close fires OnDisconnect while the body is still being taken, at a point that
// depends on how the bytes arrived. disconnectedEveryPass() checks OnDisconnect on its own.
class ClientProbe {
public:
    explicit ClientProbe(THttpClient& client);
    std::string events() const;
    int count(const std::string& name) const;
    // Every "Connect" is followed by a "Disconnect" before the next pass starts, before
    // OnRedirect and OnAuthenticationNeeded, and before the end.
    bool disconnectedEveryPass() const;

private:
    void note(const std::string& name);
    std::vector<std::string> events_;
    std::vector<std::string> all_;
};

// Runs request() and returns the message of the exception it ended with, or "" when none.
template <typename F> std::string messageOf(F&& request) {
    try {
        request();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}
