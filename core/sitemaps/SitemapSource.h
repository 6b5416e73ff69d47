#pragma once

#include "http/live/LiveClient.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class LiveRun;

// What a fetch ended with: the HTTP status (0 when there was none), the URL the answer came
// from after redirects, and, for anything but a body that was read, a sentence that says what
// went wrong (as the network gave it: shown only through printable()).
struct FetchResult {
    int status = 0;
    std::string problem;
    std::string finalUrl;
    bool ok() const { return problem.empty(); }
};

// Where robots.txt, sitemaps and key files come from. The program fetches them with the live
// client; tests hand over files without a network.
class SitemapSource {
public:
    // Takes the next piece of the body; false stops the fetch early (which is no fault).
    using Sink = std::function<bool(std::string_view piece)>;
    struct Fetch {
        std::string url;
        Redirects redirects = Redirects::AnyHost;
        Sink sink;
    };

    virtual ~SitemapSource() = default;
    // Fetches every URL with GET, several at a time, handing each 2xx body to its sink as it
    // arrives, never whole; returns once all have ended, in the order given.
    virtual std::vector<FetchResult> fetchAll(std::vector<Fetch> fetches) = 0;
    FetchResult fetch(std::string url, Redirects redirects, Sink sink);
};

// The request of a fetch: GET with its redirect rule and a body bound that lets the
// protocol's largest sitemap through (the sink is given separately).
LiveRequest fetchRequest(const SitemapSource::Fetch& fetch);
// What an answer tells the reader: a failure's cause, a status that is no 2xx, or nothing. A
// 2xx answer whose body did not arrive whole is "cut short after N bytes: CAUSE".
FetchResult fetchResult(const LiveAnswer& answer);
// Runs the fetches through send (which sends requests at once and returns their answers in
// order). A sink that throws ends its transfer; the exception passes out once all have ended.
std::vector<FetchResult>
sendFetches(std::vector<SitemapSource::Fetch> fetches,
            const std::function<std::vector<LiveAnswer>(std::vector<LiveRequest>)>& send);

// Fetches with a live client of its own making (the headless commands).
class ClientSitemapSource final : public SitemapSource {
public:
    explicit ClientSitemapSource(LiveClient& client) : client_(client) {}
    std::vector<FetchResult> fetchAll(std::vector<Fetch> fetches) override;
    // Sends the requests at once and waits for all of them.
    static std::vector<LiveAnswer> sendAll(LiveClient& client, std::vector<LiveRequest> requests);

private:
    LiveClient& client_;
};

// Fetches through a run: each fetch is a request of the run, recorded in its request log
// under the engine's name, waiting while the run is paused and ended by Stop (which passes
// out as LiveRun::Stopped).
class RunSitemapSource final : public SitemapSource {
public:
    RunSitemapSource(LiveRun& run, std::string engine) : run_(run), engine_(std::move(engine)) {}
    std::vector<FetchResult> fetchAll(std::vector<Fetch> fetches) override;

private:
    LiveRun& run_;
    std::string engine_;
};
