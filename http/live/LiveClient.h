#pragma once

#include "http/Url.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The HTTP methods that live requests use. An unknown method is refused where it is written
// (parseMethod gives nothing), never sent as another.
enum class Method { Get, Head, Post, Put };
std::string_view methodName(Method method);               // "GET", "HEAD", "POST", "PUT"
std::optional<Method> parseMethod(std::string_view name); // case-sensitive upper-case names

// Header lines as name and value, in the order they were sent or received.
using HeaderList = std::vector<std::pair<std::string, std::string>>;
// The value of the first header of that name (ignoring case), without blanks around it;
// empty when there is none.
std::string headerValue(const HeaderList& headers, std::string_view name);

// What a live request may do with a 3xx answer.
enum class Redirects {
    // Answer the 3xx itself (with its Location), following nothing: every request with a body
    // or credentials (IndexNow POST, the token grant, Search Console).
    Refuse,
    // Follow at most 5 redirects (301, 302, 303, 307, 308) within the request's origin.
    SameOrigin,
    // Follow at most 5 redirects to any host: sitemaps, the profile URL probe, pages.
    AnyHost,
    // Follow at most 5 redirects to any host, also from https to http, and answer with the
    // sixth 3xx itself (its hops then say it redirected more than five times) rather than fail:
    // robots.txt, whose redirects crawlers follow across authorities and which carries no
    // credential.
    RobotsTxt,
};
// In no other mode is a redirect from https to http followed: it ends the request as a failure.

// One live request, as a value.
struct LiveRequest {
    Method method = Method::Get;
    std::string url;
    // Lines of the caller's own (Content-Type, Authorization, ...). User-Agent and Host are the
    // client's; no Cookie line is ever sent.
    HeaderList headers;
    std::string body;
    Redirects redirects = Redirects::Refuse;
    // The most body bytes the answer may have (0: the client's default), and the longest the
    // whole request may take, redirects included (zero: the client's default). An answer
    // without a sink that declares a longer body is refused before it is read; one with a sink
    // is read as it comes, declared length or not, until the sink stops (or the cap is passed).
    std::uint64_t maxBodyBytes = 0;
    std::chrono::milliseconds deadline{0};
    // When set, a 2xx body goes here piece by piece as it arrives and is not kept in the
    // answer; returning false ends the transfer early, which is no failure. It runs inside curl:
    // it may start or cancel transfers, but must not pump the event loop (perform, waitAll).
    std::function<bool(std::string_view piece)> sink;
};

// One hop of a request: the URL asked for and what came of it.
struct LiveHop {
    std::string url;
    int status = 0; // 0: no answer
    std::string reason;
    std::uint64_t bytes = 0;
    std::int64_t milliseconds = 0;
};

// What came of a live request, as a value. A request that got an answer (any status) has an
// empty error; one that did not has a sentence naming the cause ("no complete answer within
// 60 s", "the answer exceeded 8 MiB", "refused to follow a redirect from https to http",
// "connection refused", ...); its status is 0 and its headers and body are empty (the hops still
// say what each one received). Network text in an error has its control characters replaced.
struct LiveAnswer {
    int status = 0;
    std::string reason;
    HeaderList headers; // of the final answer
    std::string body;   // empty when the request had a sink
    // Where the answer came from after the redirects that were followed.
    std::string finalUrl;
    // Every hop, the last one included: one request-log record each.
    std::vector<LiveHop> hops;
    std::string error;
    std::string header(std::string_view name) const { return headerValue(headers, name); }
    bool answered() const { return error.empty() && status > 0; }
};

// The client of all live traffic (profile probe, robots.txt, sitemaps, key files, page checks,
// IndexNow, Google), on libcurl's multi interface driven by the process's EventLoop: many
// transfers at once on kept-alive connections (HTTP/1.1, HTTP/2 where the server offers it),
// while the window stays live. The catalogue keeps its own client.
class LiveClient {
public:
    struct Settings {
        std::string proxy;     // "host:port" or empty; https goes through it by CONNECT
        std::string caFile;    // PEM certificates trusted besides the system's store
        std::string userAgent; // "Larkspan/VERSION (+HOME-PAGE)"
        int perHost = 4;       // transfers at once to one host
        int connections = 16;  // transfers at once in all
        std::uint64_t maxBodyBytes = 8u << 20;
        std::chrono::milliseconds deadline{60'000};
    };
    using Id = std::uint64_t;
    using Done = std::function<void(LiveAnswer)>;

    explicit LiveClient(Settings settings);
    ~LiveClient(); // cancels whatever still runs, calling no callback
    LiveClient(const LiveClient&) = delete;
    LiveClient& operator=(const LiveClient&) = delete;

    // Starts the request; done is called once, on the main thread, from the event loop.
    Id start(LiveRequest request, Done done);
    // Ends a transfer: its done gets the error "stopped", before cancel returns (or, when called
    // from a sink while curl is at work, as soon as curl has returned). Nothing for one that has
    // ended.
    void cancel(Id id);
    void cancelAll();
    // Transfers started and not yet done.
    std::size_t running() const;

    // Runs one request and pumps the event loop until it is done.
    LiveAnswer perform(LiveRequest request);
    // Pumps the event loop until every transfer has ended.
    void waitAll();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
