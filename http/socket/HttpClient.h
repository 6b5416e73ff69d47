#pragma once

#include "http/socket/ExStringList.h"
#include "http/socket/HeaderInfo.h"
#include "http/socket/HttpRequest.h"
#include "http/socket/SockClient.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class TStream;

// The HTTP/1.0 client: one connection per pass of a request, inside TLS for https URLs.
//
// A request parses its URL into Host, Port and path, builds the request lines, connects,
// sends them (with the body for the kinds that have one), reads the status line and the
// header lines, and captures the body until the server closes the connection. Redirects
// (300 to 302) are followed with a new connection, at most MaxPasses passes in all, and a
// cookie set by a redirect is sent on the passes after it that go to the server (host and
// port) the redirect led to, and to no other; a cookie holding a control character is not
// taken.
//
// In text mode (InputFileMode false) the header lines end up in Header and the body in Body;
// in file mode they go to the files named by Header and Body. HTTP statuses are reported
// through OnSuccess and OnFailure, never as exceptions; everything that goes wrong on the
// way is an exception (ESockError and the general ones of the URL).
//
// A server cannot hold the caller or its memory without bound: a header line is limited to
// MaxHeaderLine bytes and the header to MaxHeaderSize bytes; MaxBodySize limits the body kept
// in text mode and RequestDeadline the whole request, both cancelling it as the time-out does.
class THttpClient : public TSockClient {
public:
    using ResultEvent = std::function<void(CmdType cmd)>;

    static constexpr std::int64_t MaxHeaderLine = 100 * 1024;
    static constexpr std::int64_t MaxHeaderSize = 300 * 1024;
    static constexpr int MaxPasses = 20;

    THttpClient();
    ~THttpClient() override;

    // File mode: the names of the files that receive the body and the header.
    // Text mode: the body and the header lines of the last response.
    std::string Body = "Default.htm";
    std::string Header = "Head.txt";
    THeaderInfo HeaderInfo;
    // The response goes to the files named by Header and Body.
    bool InputFileMode = false;
    // The data of a request names a file whose contents are the body.
    bool OutputFileMode = false;
    // Header lines set on every request after the built ones, each replacing a built line of
    // the same name (ignoring case); a live service needs its own Content-Type or an
    // Authorization. Empty for the catalogue's requests.
    std::vector<std::pair<std::string, std::string>> ExtraHeaders;
    // Bytes of body kept in text mode; 0 keeps any size. More cancels the request.
    std::int64_t MaxBodySize = 0;
    // Milliseconds a whole request may take, redirects included; 0 is no limit. When it
    // passes, the request is cancelled.
    std::int32_t RequestDeadline = 0;

    ResultEvent OnSuccess;
    ResultEvent OnFailure;
    NotifyEvent OnAboutToSend;
    HandlerEvent OnRedirect;
    NotifyEvent OnAuthenticationNeeded;

    void Get(const std::string& url);
    void Options(const std::string& url);
    void Head(const std::string& url);
    void Post(const std::string& url, const std::string& data);
    void Put(const std::string& url, const std::string& data);
    void Patch(const std::string& url, const std::string& data);
    void Copy(const std::string& url, const std::string& target);
    void Move(const std::string& url, const std::string& target);
    void Delete(const std::string& url);
    void Link(const std::string& url, const std::string& link);
    void Unlink(const std::string& url, const std::string& link);
    void Trace(const std::string& url, const std::string& data);
    // A request with data but without a request line, for servers that take raw lines.
    void Extension(const std::string& url, const std::string& data);

    // Sets lookupDone as well, so that a pending name lookup ends too.
    void Abort() override;

    // The current pass goes inside TLS (its URL, or the last one that named a scheme, is https).
    bool secure() const { return secure_; }
    const std::string& requestURL() const { return requestURL_; }
    const std::string& requestPath() const { return requestPath_; }
    const std::string& locationValue() const { return locationValue_; }
    const std::string& cookieValue() const { return cookieValue_; }
    CmdType requestKind() const { return requestKind_; }
    const TExStringList& requestLines() const { return requestLines_; }
    // The request was cancelled because RequestDeadline passed.
    bool deadlineExpired() const { return deadlineExpired_; }
    // The request was cancelled because the body exceeded MaxBodySize.
    bool bodyLimitExceeded() const { return bodyLimitExceeded_; }

protected:
    virtual void ExecuteRequest();
    virtual void ParseURL();
    virtual void BuildRequest();
    virtual void ReadResponseHeader();
    virtual void SendRequest();

    // The next header line with its terminator. EAbortError "Socket readln aborted" on a
    // time-out or cancel, or when the server closed before ending the line; ESockError
    // when the line grows beyond MaxHeaderLine.
    std::string ReadHeaderLine();
    // Takes the body out of the receive buffer until the server closes the connection.
    void CaptureBody();

private:
    class RequestScope;
    void start(CmdType kind, const std::string& url, const std::string& data, const std::string& target);
    void runPass();
    // Asks the proxy for a tunnel to Host and Port. ESockError of kind Tunnel when the proxy
    // answers with anything but 2xx (naming its status line) or with too long an answer.
    void OpenTunnel();
    void waitForResponse();
    void captureInto(TStream* file, std::string* text);
    // Raises the socket error that ended the connection, if one did: a reset is not a close.
    void failIfBroken();
    // Takes the cookie of a redirect's answer into HeaderInfo.Cookie, unless it holds a control
    // character, for the server that the next pass goes to.
    void takeRedirectCookie();

    std::string requestPath_;
    TExStringList requestLines_;
    std::string locationValue_;
    std::string cookieValue_;
    // The cookie a redirect set and the "host:port" it may go to (empty until the pass after
    // the redirect has parsed its URL).
    std::string redirectCookie_;
    std::string redirectCookieServer_;
    bool redirectCookiePending_ = false;
    std::string requestData_;
    std::string targetURL_;
    std::string requestURL_;
    CmdType requestKind_ = CmdType::Get;
    bool busy_ = false;
    bool secure_ = false;
    bool deadlineExpired_ = false;
    bool bodyLimitExceeded_ = false;
    std::int64_t headerBytes_ = 0;
};
