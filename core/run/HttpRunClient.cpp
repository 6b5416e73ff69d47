#include "core/run/HttpRunClient.h"

#include "http/socket/HttpClient.h"
#include "http/socket/HttpResponse.h"
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
