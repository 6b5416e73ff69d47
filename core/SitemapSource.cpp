#include "core/SitemapSource.h"

#include "core/Config.h"
#include "core/LiveChannel.h"
#include "core/SitemapReader.h"
#include "http/HttpClient.h"
#include "platform/Text.h"

#include <exception>

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The host a redirect's Location leads to, read exactly as the HTTP client reads it: with "//"
// anywhere, the third "/"-separated field (so "//host/x" too); without, the text before the
// first "/" unless it starts with "/"; a text without any "/" is a path on the same server.
// The port is left out. Empty: the same server.
std::string redirectHost(std::string_view location) {
    std::string_view host;
    if (location.find("//") != std::string_view::npos) {
        std::string_view rest = location.substr(location.find('/') + 1);
        rest = rest.substr(rest.find('/') + 1);
        host = rest.substr(0, rest.find('/'));
    } else if (!location.empty() && location.front() != '/' && location.find('/') != std::string_view::npos) {
        host = location.substr(0, location.find('/'));
    }
    return lower(host.substr(0, host.find(':')));
}

} // namespace

std::string hostOfUrl(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) return {};
    std::string_view rest = url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    // User information before "@" is not the host.
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
    return lower(rest.substr(0, rest.find(':')));
}

HttpSitemapSource::HttpSitemapSource(const Config& config) : http_(std::make_unique<THttpClient>()) {
    THttpClient& c = *http_;
    c.InputFileMode = false;
    c.OutputFileMode = false;
    // A quiet server is given up after half a minute; the whole fetch has the configured
    // deadline, which a 50 MB sitemap over a slow line may need in full.
    c.TimeOut = 30000;
    c.RequestDeadline = config.requestDeadlineSeconds * 1000;
    // The reader stops at the protocol's size; the client's own bound is only a safety net
    // above it, so it never cuts a sitemap the protocol allows.
    c.MaxBodySize = static_cast<std::int64_t>(SitemapReader::MaxBytes) + 65536;
    if (auto proxy = parseHostPort(config.proxy)) {
        c.Proxy = proxy->host;
        c.ProxyPort = proxy->port;
    }
    c.CAFile = config.caFile;
}

HttpSitemapSource::~HttpSitemapSource() = default;

FetchResult HttpSitemapSource::fetch(const std::string& url, const Sink& sink) {
    return fetchInPieces(*http_, url, sink);
}

FetchResult fetchInPieces(THttpClient& c, const std::string& url, const SitemapSource::Sink& sink) {
    const std::string host = hostOfUrl(url);
    std::string away;
    bool stopped = false;
    std::exception_ptr error;
    c.bytesTotal = 0;
    c.bytesReceived = 0;
    // The client's own hooks come back afterwards; its packet hook (a run's progress display)
    // still sees every piece.
    const TSockClient::HandlerEvent ownRedirect = c.OnRedirect;
    const TSockClient::NotifyEvent ownPacket = c.OnPacketRecvd;
    c.OnRedirect = [&](bool& handled) {
        // By now the next URL is the one the server named.
        std::string next = redirectHost(c.requestURL());
        if (!next.empty() && next != host) {
            away = c.requestURL();
            handled = true;
        }
    };
    // The body arrives here piece by piece and is handed on at once, so that the client's
    // text never holds more than the piece that just came.
    c.OnPacketRecvd = [&](TSockClient& sender) {
        if (ownPacket) ownPacket(sender);
        if (!stopped && c.replyNumber >= 200 && c.replyNumber <= 299) {
            try {
                if (!sink(c.Body)) stopped = true;
            } catch (...) {
                error = std::current_exception();
                stopped = true;
            }
            if (stopped) c.Abort();
        }
        c.Body.clear();
    };
    struct Unhook {
        THttpClient& c;
        const TSockClient::HandlerEvent& redirect;
        const TSockClient::NotifyEvent& packet;
        ~Unhook() {
            c.OnRedirect = redirect;
            c.OnPacketRecvd = packet;
            std::string().swap(c.Body);
        }
    } unhook{c, ownRedirect, ownPacket};

    FetchResult result;
    try {
        c.Get(url);
    } catch (const LarkspanError& e) {
        result.status = c.replyNumber;
        if (error) std::rethrow_exception(error);
        if (stopped) return result;
        if (c.deadlineExpired())
            result.problem =
                "the server took longer than " + std::to_string(c.RequestDeadline / 1000) + " seconds";
        else if (c.bodyLimitExceeded())
            result.problem = "the answer is larger than a sitemap may be";
        else
            result.problem = e.what();
        return result;
    }
    if (error) std::rethrow_exception(error);
    result.status = c.replyNumber;
    if (!away.empty())
        result.problem = "it redirects to another host (" + away + "), which is not followed";
    else if (c.replyNumber == 0)
        result.problem = "the server's answer is not HTTP";
    else if (c.replyNumber < 200 || c.replyNumber > 299)
        result.problem = "the server answered with status " + std::to_string(c.replyNumber);
    return result;
}

FetchResult RunSitemapSource::fetch(const std::string& url, const Sink& sink) {
    return run_.fetch(engine_, url, sink);
}
