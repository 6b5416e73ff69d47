#include "http/socket/HttpClient.h"

#include "http/socket/HttpResponse.h"
#include "http/socket/HttpText.h"
#include "http/socket/Stream.h"
#include "platform/EventLoop.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <memory>

namespace {

// Most that an announced length reserves for a body kept in memory.
constexpr std::int64_t ReserveLimit = 256ll << 20;

} // namespace

// Holds what lives exactly as long as one request: the guard against starting a request
// from a handler of a running one, and the timer of RequestDeadline.
class THttpClient::RequestScope {
public:
    explicit RequestScope(THttpClient& client) : client_(client) {
        if (client_.busy_) throw ESockError("Request already in progress");
        client_.busy_ = true;
        client_.deadlineExpired_ = false;
        client_.bodyLimitExceeded_ = false;
        if (client_.RequestDeadline < 0) throw ERangeError();
        if (client_.RequestDeadline > 0) {
            deadline_ = EventLoop::instance().startTimer(
                std::chrono::milliseconds(client_.RequestDeadline), EventLoop::TimerMode::SingleShot, [this] {
                    deadline_ = 0;
                    client_.deadlineExpired_ = true;
                    client_.ReportStatus(LevelStep, "Deadline Reached");
                    client_.Abort();
                });
            if (deadline_ == 0) {
                client_.busy_ = false;
                throw LarkspanError("No Timer");
            }
        }
    }
    ~RequestScope() {
        if (deadline_ != 0) EventLoop::instance().killTimer(deadline_);
        client_.busy_ = false;
    }
    RequestScope(const RequestScope&) = delete;
    RequestScope& operator=(const RequestScope&) = delete;

private:
    THttpClient& client_;
    EventLoop::Handle deadline_ = 0;
};

THttpClient::THttpClient() = default;
THttpClient::~THttpClient() = default;

void THttpClient::Get(const std::string& url) {
    start(CmdType::Get, url, {}, {});
}
void THttpClient::Options(const std::string& url) {
    start(CmdType::Options, url, {}, {});
}
void THttpClient::Head(const std::string& url) {
    start(CmdType::Head, url, {}, {});
}
void THttpClient::Post(const std::string& url, const std::string& data) {
    start(CmdType::Post, url, data, {});
}
void THttpClient::Put(const std::string& url, const std::string& data) {
    start(CmdType::Put, url, data, {});
}
void THttpClient::Patch(const std::string& url, const std::string& data) {
    start(CmdType::Patch, url, data, {});
}
void THttpClient::Copy(const std::string& url, const std::string& target) {
    start(CmdType::Copy, url, {}, target);
}
void THttpClient::Move(const std::string& url, const std::string& target) {
    start(CmdType::Move, url, {}, target);
}
void THttpClient::Delete(const std::string& url) {
    start(CmdType::Delete, url, {}, {});
}
void THttpClient::Link(const std::string& url, const std::string& link) {
    start(CmdType::Link, url, "Send.dat", link);
}
void THttpClient::Unlink(const std::string& url, const std::string& link) {
    start(CmdType::Unlink, url, "Send.dat", link);
}
void THttpClient::Trace(const std::string& url, const std::string& data) {
    start(CmdType::Trace, url, data, {});
}
void THttpClient::Extension(const std::string& url, const std::string& data) {
    start(CmdType::Extension, url, data, {});
}

void THttpClient::Abort() {
    lookupDone = true;
    Cancel();
}

void THttpClient::start(CmdType kind, const std::string& url, const std::string& data,
                        const std::string& target) {
    RequestScope scope(*this);
    requestURL_ = url;
    requestData_ = data;
    targetURL_ = target;
    requestKind_ = kind;
    ExecuteRequest();
}

void THttpClient::ExecuteRequest() {
    for (int pass = 1;; ++pass) {
        // A status of 300 to 302 asks for one more pass; a chain of them must still end.
        if (pass > MaxPasses) throw ESockError("Too many redirects");
        // Connect clears a pending cancellation, so a deadline that passed between two passes
        // has to be honoured here.
        if (deadlineExpired_) throw ESockError("Connection Canceled");

        runPass();

        if (replyNumber >= 300 && replyNumber <= 398) {
            bool handled = false;
            takeRedirectCookie();
            if (OnRedirect) OnRedirect(handled);
            if (handled) return;
            if (!requestURL_.empty() && requestURL_.find('/') == std::string::npos) {
                // A Location without any "/" names a path on the server that sent it, port
                // included, so the next pass goes back to the same server. An empty one
                // (no Location at all) is left empty, so that the next pass fails with
                // "Empty URL" instead of asking the same server again and again.
                std::string authority = Host;
                if (Port != (secure_ ? 443 : 80)) authority += ":" + std::to_string(Port);
                requestURL_ = (secure_ ? "https://" : "http://") + authority + "/" + requestURL_;
            }
        }
        if (replyNumber == 401 && OnAuthenticationNeeded) OnAuthenticationNeeded(*this);
        // Only 300, 301 and 302 name a new URL; every other status ends the request, 299 and
        // 303 to 399 with neither OnSuccess nor OnFailure.
        if (replyNumber < 300 || replyNumber > 302) return;
    }
}

void THttpClient::runPass() {
    ParseURL();
    BuildRequest();
    if (OnAboutToSend) OnAboutToSend(*this);

    Connect();
    // From here on a socket error number means this connection broke (see failIfBroken).
    lastError = 0;
    // The connection is closed on every way out of the pass.
    struct Closer {
        THttpClient& client;
        bool done = false;
        ~Closer() {
            if (done) return;
            try {
                client.Disconnect();
            } catch (...) {
                // The exception that is already on its way out is the one the caller needs.
            }
        }
    } closer{*this};

    if (secure_) {
        // Through a proxy, TLS runs end to end inside a tunnel; the proxy sees only the host.
        if (!Proxy.empty()) OpenTunnel();
        StartTls(Host, Port);
    }
    SendRequest();
    waitForResponse();

    std::array<char, 3> first{};
    receiveBuffer().Peek(first.data(), 3);
    if (std::string_view(first.data(), 3) == "HTT") ReadResponseHeader();
    CaptureBody();

    if (replyNumber < 299) {
        if (OnSuccess) OnSuccess(requestKind_);
        ReportStatus(LevelCompleted, "Transaction Completed");
    } else if (replyNumber >= 400) {
        if (OnFailure) OnFailure(requestKind_);
    } else if (replyNumber >= 300 && replyNumber <= 302) {
        requestURL_ = locationValue_;
    }

    closer.done = true;
    Disconnect();
}

void THttpClient::waitForResponse() {
    replyNumber = 0;
    auto& buffer = receiveBuffer();
    // A server that closed with fewer than 3 bytes will send no more, so the wait ends at once
    // instead of at the time-out (or never, without one).
    waitUntil([this, &buffer] { return buffer.totalCount() >= 3 || !connected_; }, Arming::Arm);
    if (!canceled_ && buffer.totalCount() < 3) failIfBroken();
    if (canceled_ || buffer.totalCount() < 3) throw ESockError("Accepting Canceled");
}

void THttpClient::ParseURL() {
    const ParsedUrl parsed = ParseRequestUrl(requestURL_, Host, Port);
    requestPath_ = parsed.path;
    if (parsed.secure) secure_ = *parsed.secure;
    // The first pass after a redirect that set a cookie names the one server it belongs to.
    if (redirectCookiePending_) {
        redirectCookieServer_ = Host + ":" + std::to_string(Port);
        redirectCookiePending_ = false;
    }
}

void THttpClient::takeRedirectCookie() {
    if (cookieValue_.empty()) return;
    // A cookie with a line break (or another control) would forge header lines of later
    // requests; such a cookie is not taken at all.
    for (unsigned char c : cookieValue_)
        if (c < 0x20 || c == 0x7F) return;
    HeaderInfo.Cookie = cookieValue_;
    redirectCookie_ = cookieValue_;
    redirectCookieServer_.clear();
    redirectCookiePending_ = true;
}

void THttpClient::OpenTunnel() {
    ReportStatus(LevelStep, "Opening Tunnel");
    const std::string authority = Host + ":" + std::to_string(Port);
    Write("CONNECT " + authority + " HTTP/1.0\r\nHost: " + authority + "\r\n\r\n");
    std::string status = ReadHeaderLine();
    const int code = ReplyNumberOf(status);
    if (code < 200 || code > 299) {
        while (!status.empty() && (status.back() == '\n' || status.back() == '\r'))
            status.pop_back();
        throw ESockError("The proxy refused the tunnel to " + authority + ": " + status,
                         SockErrorKind::Tunnel);
    }
    std::int64_t size = static_cast<std::int64_t>(status.size());
    for (std::string line = status; line != "\r\n" && line != "\n";) {
        line = ReadHeaderLine();
        size += static_cast<std::int64_t>(line.size());
        if (size > MaxHeaderSize)
            throw ESockError("The proxy's answer to the tunnel request is too long", SockErrorKind::Tunnel);
    }
}

void THttpClient::BuildRequest() {
    RequestParts parts;
    parts.kind = requestKind_;
    parts.requestURL = requestURL_;
    parts.path = requestPath_;
    parts.host = Host;
    // Inside a tunnel the request is the one the host itself would get.
    parts.viaProxy = !Proxy.empty() && !secure_;
    // A cookie that a redirect set goes only to the server the redirect led to, never on to
    // other hosts; a cookie the owner set itself goes everywhere, as before.
    THeaderInfo info = HeaderInfo;
    if (!redirectCookie_.empty() && info.Cookie == redirectCookie_ &&
        redirectCookieServer_ != Host + ":" + std::to_string(Port))
        info.Cookie.clear();
    parts.headerInfo = &info;
    parts.targetURL = targetURL_;
    if (SendsBody(requestKind_)) {
        if (OutputFileMode)
            parts.contentLength = TFileStream(requestData_, TFileStream::Mode::Read).size();
        else
            parts.contentLength = static_cast<std::int64_t>(requestData_.size());
    }
    // Link and Unlink send no body, so they announce none (parts.contentLength stays 0).
    BuildRequestLines(parts, requestLines_);
    for (const auto& [name, value] : ExtraHeaders)
        requestLines_.SetHeaderValue(name, value);
}

void THttpClient::SendRequest() {
    // The header, its blank line and a body held in memory go out in one piece: separate
    // small sends can sit in the sender's queue waiting for acknowledgements.
    std::string request = requestLines_.Text();
    request += "\r\n";
    if (SendsBody(requestKind_) && !OutputFileMode) request += requestData_;
    Write(request);
    if (SendsBody(requestKind_) && OutputFileMode) SendFile(requestData_);
}

std::string THttpClient::ReadHeaderLine() {
    ReportStatus(LevelStep, "ReadLn");
    auto& buffer = receiveBuffer();
    std::int64_t n = 0;
    bool tooLong = false;
    waitUntil(
        [this, &buffer, &n, &tooLong] {
            if (DataAvailable()) {
                n = buffer.FindDelimiter("\n");
                // Without a line end in reach, more data only makes the line longer.
                if (n > 0 || buffer.totalCount() > MaxHeaderLine) {
                    tooLong = n <= 0 || n > MaxHeaderLine;
                    return true;
                }
            }
            // A server that closed before ending the line will not end it: fail now rather
            // than at the time-out, or never without one.
            return !connected_;
        },
        Arming::Arm);
    if (tooLong) throw ESockError("Response header line too long");
    if (n > 0) {
        std::string line(static_cast<std::size_t>(n), '\0');
        buffer.Read(line.data(), n);
        return line;
    }
    if (!canceled_) failIfBroken();
    canceled_ = false;
    throw EAbortError("Socket readln aborted");
}

void THttpClient::ReadResponseHeader() {
    bytesTotal = 0;
    cookieValue_.clear();
    headerBytes_ = 0;
    std::unique_ptr<TFileStream> file;
    if (InputFileMode)
        file = std::make_unique<TFileStream>(Header, TFileStream::Mode::Create);
    else
        Header.clear();

    auto keep = [&](const std::string& line) {
        headerBytes_ += static_cast<std::int64_t>(line.size());
        if (headerBytes_ > MaxHeaderSize) throw ESockError("Response header too long");
        if (file)
            file->write(line.data(), static_cast<std::int64_t>(line.size()));
        else
            Header += line;
    };

    std::string line = ReadHeaderLine();
    replyNumber = static_cast<std::int16_t>(ReplyNumberOf(line));
    keep(line);

    ResponseHeaderState state;
    while (true) {
        line = ReadHeaderLine();
        const bool end = ApplyHeaderLine(state, line, std::numeric_limits<std::int64_t>::max());
        bytesTotal = state.bytesTotal;
        cookieValue_ = state.cookieValue;
        if (state.hasLocation) locationValue_ = state.locationValue;
        keep(line);
        if (end) break;
    }
}

void THttpClient::CaptureBody() {
    if (InputFileMode) {
        TFileStream file(Body, TFileStream::Mode::Create);
        captureInto(&file, nullptr);
    } else {
        Body.clear();
        captureInto(nullptr, &Body);
    }
}

void THttpClient::captureInto(TStream* file, std::string* text) {
    ReportStatus(LevelStep, file ? "CaptureFile" : "Capture String");
    auto& buffer = receiveBuffer();
    bytesReceived = 0;
    if (!file && bytesTotal > 0) {
        // The announced length spares the copies of a growing text. It is only a hint from
        // the server, so the reservation is bounded; untouched reserved pages cost nothing.
        std::int64_t hint = std::min(bytesTotal, ReserveLimit);
        if (MaxBodySize > 0) hint = std::min(hint, MaxBodySize);
        text->reserve(static_cast<std::size_t>(hint));
    }
    TimerOn();
    try {
        while (!canceled_) {
            waitUntil([this, &buffer] { return buffer.totalCount() > 0 || !connected_; }, Arming::AsArmed);
            if (canceled_) break;
            std::int64_t n = buffer.totalCount();
            if (file) {
                // A body file is written through the transfer buffer, a chunk at a time.
                // Larger writes were measured to be slower, not faster: with pieces of 256 KiB
                // and more the kernel fills the file's cache in large blocks that were often
                // much slower to come by, and a 512 MiB body was written at half the speed
                // or worse, while 64 KiB pieces kept a steady speed above curl's.
                n = std::min(n, ChunkSize);
                buffer.Read(transferBuffer_.data(), n);
                file->write(transferBuffer_.data(), n);
            } else {
                if (MaxBodySize > 0 && bytesReceived + n > MaxBodySize) {
                    // Keep what fits, then cancel as the time-out would.
                    n = MaxBodySize - bytesReceived;
                    bodyLimitExceeded_ = true;
                }
                const std::size_t old = text->size();
                text->resize(old + static_cast<std::size_t>(n));
                buffer.Read(text->data() + old, n);
            }
            bytesReceived += n;
            if (OnPacketRecvd) OnPacketRecvd(*this);
            if (bodyLimitExceeded_) {
                ReportStatus(LevelStep, "Body Size Limit Reached");
                Abort();
                break;
            }
            if (n > 0) TimerOn();
            if (!connected_ && buffer.totalCount() == 0) break;
        }
    } catch (...) {
        TimerOff();
        throw;
    }
    TimerOff();
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket capture aborted");
    }
    // A body cut off by a reset is not a complete answer, whatever came before it.
    failIfBroken();
}

void THttpClient::failIfBroken() {
    if (lastError != 0 && !connected_) throw ESockError(brokenText());
}
