#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The catalogue's side of a run (the live channels have the live client): one request at a time, each
// returning when the response has been read to the server's close. Any failure (no connection, time-out,
// broken transfer, a bound exceeded, an abort) leaves the request as an exception; an error status does not.
// While a request waits, the event loop keeps running, so the window's handlers (the packet
// event among them) run nested inside Get and Post.
class RunClient {
public:
    virtual ~RunClient() = default;

    virtual void Get(const std::string& url) = 0;
    virtual void Post(const std::string& url, const std::string& body) = 0;
    // Ends the request in flight with an exception; nothing when none is running.
    virtual void Abort() = 0;

    // Milliseconds that each wait of the next request may last.
    virtual void setTimeOut(int milliseconds) = 0;
    // The length the response being read announced (0 when it announced none), and the body
    // bytes received so far.
    virtual std::int64_t bytesTotal() const = 0;
    virtual std::int64_t bytesReceived() const = 0;
    // The status code and the reason phrase of the last request's response; no status when
    // there was no response or it came without a status line.
    virtual std::optional<int> replyStatus() const = 0;
    virtual std::string replyReason() const = 0;

    // The most body bytes a request may take, and the longest it may last as a whole; a
    // request that goes beyond either fails.
    virtual void setMaxBodySize(std::uint64_t bytes) = 0;
    virtual void setRequestDeadline(int milliseconds) = 0;
    // Sends every request through this proxy; an empty host sends them directly.
    virtual void setProxy(const std::string& host, int port) = 0;
    // A PEM file of certificates that https trusts besides the system's store; empty for none.
    virtual void setCAFile(const std::string& file) { (void)file; }

    // Fired each time a part of a response has arrived.
    std::function<void()> OnPacketRecvd;
};
