#include "core/HttpRunClient.h"

#include "core/SitemapReader.h"

#include "http/HttpClient.h"
#include "http/HttpResponse.h"
#include "platform/Text.h"

#include <algorithm>
#include <limits>

HttpRunClient::HttpRunClient() : http_(std::make_unique<THttpClient>()) {
    http_->InputFileMode = false;
    http_->OutputFileMode = false;
    http_->ReportLevel = 16;
    http_->OnPacketRecvd = [this](TSockClient&) {
        if (OnPacketRecvd) OnPacketRecvd();
    };
}

HttpRunClient::~HttpRunClient() = default;

void HttpRunClient::beforeRequest() {
    // The client keeps the last announced length until it reads another header, so a reply
    // without a header would otherwise be measured against the previous reply's length.
    http_->bytesTotal = 0;
    http_->bytesReceived = 0;
    // Likewise the status of the previous reply would stand for a request that never got one.
    http_->replyNumber = 0;
    http_->Header.clear();
}

void HttpRunClient::afterRequest() {
    // Nobody reads the response: give its memory back instead of keeping up to the body
    // bound alive between requests.
    std::string().swap(http_->Body);
}

void HttpRunClient::Get(const std::string& url) {
    beforeRequest();
    try {
        http_->Get(url);
    } catch (...) {
        afterRequest();
        throw;
    }
    afterRequest();
}

void HttpRunClient::Post(const std::string& url, const std::string& body) {
    beforeRequest();
    try {
        http_->Post(url, body);
    } catch (...) {
        afterRequest();
        throw;
    }
    afterRequest();
}

void HttpRunClient::Abort() {
    http_->Abort();
}

void HttpRunClient::setTimeOut(int milliseconds) {
    http_->TimeOut = milliseconds;
}

std::int64_t HttpRunClient::bytesTotal() const {
    return http_->bytesTotal;
}

std::int64_t HttpRunClient::bytesReceived() const {
    return http_->bytesReceived;
}

std::optional<int> HttpRunClient::replyStatus() const {
    // In text mode the header lines of the last response, status line first, are in Header;
    // a response without them (a body alone) has no status.
    if (http_->Header.empty()) return std::nullopt;
    return http_->replyNumber;
}

std::string HttpRunClient::replyReason() const {
    // "HTTP/1.0 404 Not Found": the reason phrase is everything after the status code.
    const std::string_view header = http_->Header;
    const std::string_view statusLine = WithoutTerminator(header.substr(0, header.find('\n')));
    const std::size_t first = statusLine.find(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t second = statusLine.find(' ', first + 1);
    if (second == std::string_view::npos) return {};
    return std::string(statusLine.substr(second + 1));
}

void HttpRunClient::setMaxBodySize(std::uint64_t bytes) {
    constexpr auto most = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    http_->MaxBodySize = static_cast<std::int64_t>(std::min(bytes, most));
}

void HttpRunClient::setRequestDeadline(int milliseconds) {
    http_->RequestDeadline = milliseconds;
}

void HttpRunClient::setProxy(const std::string& host, int port) {
    http_->Proxy = host;
    http_->ProxyPort = host.empty() ? 0 : port;
}

void HttpRunClient::setCAFile(const std::string& file) {
    http_->CAFile = file;
}

RunClient::Answer HttpRunClient::exchange(const Exchange& request) {
    beforeRequest();
    http_->ExtraHeaders = request.headers;
    // Whatever happens, the catalogue's next request goes out with its own lines only.
    struct Restore {
        HttpRunClient& self;
        ~Restore() {
            self.http_->ExtraHeaders.clear();
            self.afterRequest();
        }
    } restore{*this};
    if (request.method == "GET")
        http_->Get(request.url);
    else if (request.method == "PUT")
        http_->Put(request.url, request.body);
    else
        http_->Post(request.url, request.body);
    Answer answer;
    answer.status = http_->replyNumber;
    answer.reason = replyReason();
    answer.header = http_->Header;
    answer.body = http_->Body;
    return answer;
}

FetchResult HttpRunClient::fetch(const std::string& url, const SitemapSource::Sink& sink) {
    beforeRequest();
    // Nothing of the body is kept, so the bound that protects the run's memory gives way to
    // the protocol's largest sitemap; the reader stops there itself.
    const std::int64_t ownBound = http_->MaxBodySize;
    http_->MaxBodySize = static_cast<std::int64_t>(SitemapReader::MaxBytes) + 65536;
    struct Restore {
        HttpRunClient& self;
        std::int64_t bound;
        ~Restore() {
            self.http_->MaxBodySize = bound;
            self.afterRequest();
        }
    } restore{*this, ownBound};
    return fetchInPieces(*http_, url, sink);
}

FetchResult RunClient::fetch(const std::string& url, const SitemapSource::Sink& sink) {
    const Answer answer = exchange({"GET", url, {}, {}});
    FetchResult result{answer.status, {}};
    if (answer.status < 200 || answer.status > 299)
        result.problem = "the server answered with status " + std::to_string(answer.status);
    else
        sink(answer.body);
    return result;
}

std::string RunClient::Answer::headerValue(std::string_view name) const {
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find('\n', start);
        if (end == std::string::npos) end = header.size();
        const std::string_view line(header.data() + start, end - start);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsIgnoringCase(line.substr(0, colon), name)) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
                value.remove_suffix(1);
            return std::string(value);
        }
        start = end + 1;
    }
    return {};
}
