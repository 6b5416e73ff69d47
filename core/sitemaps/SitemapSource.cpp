#include "core/sitemaps/SitemapSource.h"

#include "core/channels/LiveChannel.h"
#include "core/sitemaps/SitemapReader.h"

#include <exception>
#include <memory>

FetchResult SitemapSource::fetch(std::string url, Redirects redirects, Sink sink) {
    std::vector<Fetch> one;
    one.push_back({std::move(url), redirects, std::move(sink)});
    return fetchAll(std::move(one)).front();
}

LiveRequest fetchRequest(const SitemapSource::Fetch& fetch) {
    LiveRequest request;
    request.method = Method::Get;
    request.url = fetch.url;
    request.redirects = fetch.redirects;
    // The reader stops at the protocol's size; the client's own bound is only a safety net
    // above it, so it never cuts a sitemap the protocol allows.
    request.maxBodyBytes = SitemapReader::MaxBytes + 65536;
    return request;
}

FetchResult fetchResult(const LiveAnswer& answer) {
    FetchResult result;
    result.status = answer.status;
    result.finalUrl = answer.finalUrl;
    const LiveHop* last = answer.hops.empty() ? nullptr : &answer.hops.back();
    if (!answer.error.empty() && last && last->status >= 200 && last->status <= 299)
        // The answer had begun: its body ended before its end (the deadline, the body bound, a
        // connection that broke), and the file is not whole.
        result.problem = "cut short after " + std::to_string(last->bytes) + " bytes: " + answer.error;
    else if (!answer.error.empty())
        result.problem = answer.error;
    else if (answer.status >= 300 && answer.status <= 399)
        result.problem = "it redirects to " + answer.header("Location") + ", which is not followed";
    else if (answer.status < 200 || answer.status > 299)
        result.problem = "the server answered with status " + std::to_string(answer.status);
    return result;
}

std::vector<FetchResult>
sendFetches(std::vector<SitemapSource::Fetch> fetches,
            const std::function<std::vector<LiveAnswer>(std::vector<LiveRequest>)>& send) {
    // A sink runs inside the client's event handling, where no exception may pass: the first
    // one is kept and raised once every transfer has ended.
    auto error = std::make_shared<std::exception_ptr>();
    std::vector<LiveRequest> requests;
    requests.reserve(fetches.size());
    for (SitemapSource::Fetch& fetch : fetches) {
        LiveRequest request = fetchRequest(fetch);
        request.sink = [error, sink = std::move(fetch.sink)](std::string_view piece) {
            if (*error) return false;
            try {
                return sink(piece);
            } catch (...) {
                *error = std::current_exception();
                return false;
            }
        };
        requests.push_back(std::move(request));
    }
    const std::vector<LiveAnswer> answers = send(std::move(requests));
    if (*error) std::rethrow_exception(*error);
    std::vector<FetchResult> results;
    results.reserve(answers.size());
    for (const LiveAnswer& answer : answers)
        results.push_back(fetchResult(answer));
    return results;
}

std::vector<LiveAnswer> ClientSitemapSource::sendAll(LiveClient& client, std::vector<LiveRequest> requests) {
    std::vector<LiveAnswer> answers(requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i)
        client.start(std::move(requests[i]),
                     [&answers, i](LiveAnswer answer) { answers[i] = std::move(answer); });
    client.waitAll();
    return answers;
}

std::vector<FetchResult> ClientSitemapSource::fetchAll(std::vector<Fetch> fetches) {
    return sendFetches(std::move(fetches), [this](std::vector<LiveRequest> requests) {
        return sendAll(client_, std::move(requests));
    });
}

std::vector<FetchResult> RunSitemapSource::fetchAll(std::vector<Fetch> fetches) {
    return sendFetches(std::move(fetches), [this](std::vector<LiveRequest> requests) {
        return run_.sendAll(engine_, std::move(requests));
    });
}
