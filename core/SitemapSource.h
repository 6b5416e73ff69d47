#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

struct Config;
class LiveRun;
class THttpClient;

// What a fetch ended with: the HTTP status (0 when there was none) and, for anything but a
// body that was read, a sentence that says what went wrong.
struct FetchResult {
    int status = 0;
    std::string problem;
    bool ok() const { return problem.empty(); }
};

// Where robots.txt and sitemaps come from. The program fetches them with its HTTP client;
// tests hand over files without a network.
class SitemapSource {
public:
    // Takes the next piece of the body; false stops the fetch early (which is no fault).
    using Sink = std::function<bool(std::string_view piece)>;

    virtual ~SitemapSource() = default;
    // Fetches the URL with GET and hands its body to the sink as it arrives, never whole.
    // Only a 2xx answer's body reaches the sink; a redirect to another host is not followed.
    virtual FetchResult fetch(const std::string& url, const Sink& sink) = 0;
};

// The host name of an absolute URL ("http://Host:81/x" gives "host"), lowercased; empty when
// the text names no host.
std::string hostOfUrl(std::string_view url);

// Fetches through the program's HTTP client, with the proxy and the deadline of the
// configuration, and a body bound that lets the protocol's largest sitemap through.
class HttpSitemapSource final : public SitemapSource {
public:
    explicit HttpSitemapSource(const Config& config);
    ~HttpSitemapSource() override;

    FetchResult fetch(const std::string& url, const Sink& sink) override;
    THttpClient& client() { return *http_; }

private:
    std::unique_ptr<THttpClient> http_;
};

// Fetches the URL with the client and hands its body to the sink piece by piece, as
// SitemapSource::fetch describes. The client's own hooks are back in place afterwards; its
// packet hook still runs for every piece.
FetchResult fetchInPieces(THttpClient& client, const std::string& url, const SitemapSource::Sink& sink);

// Fetches through a run: each fetch is a request of the run, recorded in its request log
// under the engine's name, waiting while the run is paused and ended by Stop (which passes
// out as LiveRun::Stopped).
class RunSitemapSource final : public SitemapSource {
public:
    RunSitemapSource(LiveRun& run, std::string engine) : run_(run), engine_(std::move(engine)) {}
    FetchResult fetch(const std::string& url, const Sink& sink) override;

private:
    LiveRun& run_;
    std::string engine_;
};
