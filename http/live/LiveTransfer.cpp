#include "http/live/LiveTransfer.h"

#include "http/live/LiveText.h"
#include "platform/Text.h"

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

ExtraCertificates::ExtraCertificates(const std::string& file) {
    if (CURL* probe = curl_easy_init()) {
        char* directory = nullptr;
        curl_easy_getinfo(probe, CURLINFO_CAPATH, &directory);
        std::error_code ec;
        if (directory && std::filesystem::is_directory(directory, ec)) systemDirectory_ = directory;
        curl_easy_cleanup(probe);
    }
    if (file.empty()) return;
    BIO* bio = BIO_new_file(file.c_str(), "r");
    if (!bio) {
        error_ = "cannot read the CA file " + printable(file);
        return;
    }
    while (X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr))
        certificates_.push_back(certificate);
    BIO_free(bio);
    if (certificates_.empty()) error_ = "the CA file " + printable(file) + " holds no PEM certificate";
}

ExtraCertificates::~ExtraCertificates() {
    for (X509* certificate : certificates_)
        X509_free(certificate);
}

CURLcode ExtraCertificates::addToContext(CURL*, void* sslContext, void* self) {
    // The context's store already holds the system's certificates; these come on top, so that
    // a test CA or a company CA is trusted without giving up the public ones.
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    for (X509* certificate : static_cast<ExtraCertificates*>(self)->certificates_)
        X509_STORE_add_cert(store, certificate); // a certificate already there is no fault
    return CURLE_OK;
}

LiveTransfer::~LiveTransfer() {
    if (easy) curl_easy_cleanup(easy);
    curl_slist_free_all(headerLines);
}

std::chrono::milliseconds LiveTransfer::remaining() const {
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    return std::max(deadline - spent, std::chrono::milliseconds(1));
}

namespace {

bool isStatusLine(std::string_view line) {
    return line.starts_with("HTTP/");
}

// "HTTP/1.1 404 Not Found" (or "HTTP/2 404") starts the header block of an answer; an interim
// 1xx answer comes first at times, and its headers are forgotten with it.
void takeStatusLine(LiveAnswer& answer, std::string_view line) {
    answer.headers.clear();
    answer.status = 0;
    answer.reason.clear();
    const auto space = line.find(' ');
    if (space == std::string_view::npos) return;
    std::string_view rest = line.substr(space + 1);
    int status = 0;
    std::size_t i = 0;
    for (; i < rest.size() && i < 3 && rest[i] >= '0' && rest[i] <= '9'; ++i)
        status = status * 10 + (rest[i] - '0');
    answer.status = i == 3 ? status : 0;
    answer.reason = std::string(trimmed(rest.substr(i)));
}

size_t onHeader(char* data, size_t size, size_t count, void* self) {
    auto& t = *static_cast<LiveTransfer*>(self);
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (isStatusLine(line)) {
        takeStatusLine(t.answer, line);
    } else if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        if (!t.answer.headers.empty()) t.answer.headers.back().second += " " + std::string(trimmed(line));
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        t.answer.headers.emplace_back(std::string(line.substr(0, colon)),
                                      std::string(trimmed(line.substr(colon + 1))));
    }
    return size * count;
}

size_t onBody(char* data, size_t size, size_t count, void* self) {
    auto& t = *static_cast<LiveTransfer*>(self);
    const size_t n = size * count;
    t.hopBytes += n;
    if (t.hopBytes > t.maxBodyBytes) {
        t.overCap = true;
        return 0;
    }
    const std::string_view piece(data, n);
    if (t.request.sink && t.answer.status >= 200 && t.answer.status < 300) {
        const bool more = t.request.sink(piece);
        if (!more) t.sinkStopped = true;
        return more && !t.cancelRequested ? n : 0;
    }
    t.answer.body.append(piece);
    return t.cancelRequested ? 0 : n;
}

bool forbiddenHeader(std::string_view name) {
    return equalsIgnoringCase(name, "Host") || equalsIgnoringCase(name, "User-Agent") ||
           equalsIgnoringCase(name, "Cookie");
}

curl_slist* headerLinesOf(const LiveRequest& request) {
    curl_slist* lines = nullptr;
    for (const auto& [name, value] : request.headers) {
        if (forbiddenHeader(name)) continue;
        // "Name;" is curl's way to send a header with an empty value.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        lines = curl_slist_append(lines, line.c_str());
    }
    // A body goes at once: waiting for "100 Continue" costs a round trip on every POST.
    if (request.method == Method::Post || request.method == Method::Put)
        lines = curl_slist_append(lines, "Expect:");
    // Without a body there is nothing to describe: curl's default form type is left out.
    if ((request.method == Method::Post || request.method == Method::Put) && request.body.empty() &&
        headerValue(request.headers, "Content-Type").empty())
        lines = curl_slist_append(lines, "Content-Type:");
    return lines;
}

void setMethod(CURL* easy, const LiveRequest& request) {
    switch (request.method) {
    case Method::Get:
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        break;
    case Method::Head:
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        break;
    case Method::Put:
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "PUT");
        [[fallthrough]];
    case Method::Post:
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
        break;
    }
}

} // namespace

bool LiveTransfer::prepareHop(const LiveClient::Settings& settings, const ExtraCertificates& extra,
                              CURLSH* share) {
    if (!easy) easy = curl_easy_init();
    if (!easy) return false;
    curl_easy_reset(easy);
    curl_slist_free_all(headerLines);
    headerLines = headerLinesOf(request);
    hopBytes = 0;
    overCap = sinkStopped = false;
    errorBuffer[0] = '\0';
    answer.status = 0;
    answer.reason.clear();
    answer.headers.clear();
    answer.body.clear();
    hopStarted = Clock::now();

    const std::string text = url.text();
    curl_easy_setopt(easy, CURLOPT_URL, text.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy, CURLOPT_SHARE, share);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    // Over TLS, wait for a connection that may multiplex (HTTP/2) rather than open one more
    // beside it. Plain http is HTTP/1.1 only, where waiting would only hold transfers back.
    curl_easy_setopt(easy, CURLOPT_PIPEWAIT, url.scheme() == "https" ? 1L : 0L);
    // The path is normalised already; curl must send it as it stands.
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_USERAGENT,
                     settings.userAgent.empty() ? nullptr : settings.userAgent.c_str());
    // An empty proxy also keeps curl from taking one from the environment; "host:port" is an
    // HTTP proxy, and one written as a URL ("http://host:port") is taken as it is.
    const bool named = settings.proxy.empty() || settings.proxy.find("://") != std::string::npos;
    const std::string proxy = named ? settings.proxy : "http://" + settings.proxy;
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerLines);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(remaining().count()));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(remaining().count()));
    // An answer kept whole is refused at once when it declares a length above the cap. A sink
    // reads up to its own bound and stops there, which needs the first bytes of a long answer:
    // a declared length must not refuse what the same answer sent chunked would give.
    if (!request.sink)
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBodyBytes));
    if (!extra.systemDirectory().empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
        curl_easy_setopt(easy, CURLOPT_CAPATH, extra.systemDirectory().c_str());
    }
    if (!extra.empty()) {
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, ExtraCertificates::addToContext);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &extra);
    }
    setMethod(easy, request);
    return true;
}

void LiveTransfer::recordHop() {
    LiveHop hop;
    hop.url = url.text();
    hop.status = answer.status;
    hop.reason = answer.reason;
    hop.bytes = hopBytes;
    hop.milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - hopStarted).count();
    answer.hops.push_back(std::move(hop));
}

std::string requestFault(const LiveRequest& request) {
    for (const auto& [name, value] : request.headers) {
        if (name.empty() || name.find_first_of(": \t") != std::string::npos)
            return "the header name \"" + printable(name) + "\" is not valid";
        for (unsigned char c : name + value)
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                return "the header " + printable(name) + " holds a control character";
    }
    return {};
}

namespace {

std::string detail(const char* errorBuffer, CURLcode code) {
    return printable(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
}

std::string connectFailure(CURL* easy, const std::string& target, const LiveClient::Settings& settings) {
    long osError = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
    if (!settings.proxy.empty()) {
        if (osError == ECONNREFUSED)
            return "the proxy " + printable(settings.proxy) + " refused the connection";
        return "cannot reach the proxy " + printable(settings.proxy);
    }
    if (osError == ECONNREFUSED) return "connection refused by " + target;
    if (osError != 0) return "cannot connect to " + target + ": " + std::strerror(static_cast<int>(osError));
    return "cannot connect to " + target;
}

} // namespace

std::string LiveTransfer::failureText(CURLcode code, const LiveClient::Settings& settings) const {
    const std::string target = url.host() + ":" + std::to_string(url.port());
    long tunnelStatus = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
    if (overCap || code == CURLE_FILESIZE_EXCEEDED) return "the answer exceeded " + sizeText(maxBodyBytes);
    if (cancelRequested) return "stopped";
    if (!settings.proxy.empty() && tunnelStatus >= 300)
        return "the proxy " + printable(settings.proxy) + " refused the tunnel to " + target + " (status " +
               std::to_string(tunnelStatus) + ")";
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return "no complete answer within " + durationText(deadline);
    case CURLE_COULDNT_RESOLVE_HOST:
        return "host name not found: " + url.host();
    case CURLE_COULDNT_RESOLVE_PROXY:
        return "proxy host name not found: " + printable(settings.proxy);
    case CURLE_COULDNT_CONNECT:
        return connectFailure(easy, target, settings);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return "TLS failed with " + target + ": " + detail(errorBuffer, code);
    case CURLE_GOT_NOTHING:
        return target + " closed the connection without an answer";
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return "the connection to " + target + " broke: " + detail(errorBuffer, code);
    default:
        return "the request to " + target + " failed: " + detail(errorBuffer, code);
    }
}
