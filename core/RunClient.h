#pragma once

#include "core/SitemapSource.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The HTTP side of a run: one request at a time, each returning when the response has been
// read to the server's close. Any failure (no connection, time-out, broken transfer, a bound
// exceeded, an abort) leaves the request as an exception; an error status does not.
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

    // A request of a live channel: any method, header lines of its own (each replacing the
    // built line of the same name), and an answer that is kept for the channel to read.
    struct Exchange {
        std::string method; // "GET", "POST" or "PUT"
        std::string url;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
    };
    struct Answer {
        int status = 0; // 0 when the answer had no status line
        std::string reason;
        std::string header; // the status line and header lines as received
        std::string body;
        // The value of the first header line of that name (ignoring case), without the blanks
        // around it; empty when there is none.
        std::string headerValue(std::string_view name) const;
    };
    // Sends the request as Get and Post do (time-outs, bounds, proxy, Abort) and returns the
    // answer, whatever its status; a failure on the way is an exception.
    virtual Answer exchange(const Exchange& request) = 0;
    // Fetches the URL with GET, as Get does, and hands the body of a 2xx answer to the sink
    // piece by piece as it arrives, so that a sitemap of 50 MB is never held whole (see
    // SitemapSource::fetch). This default hands over the body of an exchange in one piece.
    virtual FetchResult fetch(const std::string& url, const SitemapSource::Sink& sink);

    // Fired each time a part of a response has arrived.
    std::function<void()> OnPacketRecvd;
};
