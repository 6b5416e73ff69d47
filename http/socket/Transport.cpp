#include "http/socket/Transport.h"

#include "http/socket/SockError.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <map>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

// One TLS client context per set of trust anchors, with the sessions of its connections.
// Sessions are kept per host and port, so a session is only ever offered to the server that
// issued it; curl resumes the same way, and it saves most of a handshake's cost.
struct TlsContext {
    SSL_CTX* ctx = nullptr;
    std::map<std::string, SSL_SESSION*> sessions;
};

std::string openSslReason() {
    std::string reason;
    while (unsigned long e = ERR_get_error()) {
        // The last error queued is the outermost; its reason is the one worth reading.
        const char* text = ERR_reason_error_string(e);
        if (text) {
            reason = text;
        } else {
            char buffer[256];
            ERR_error_string_n(e, buffer, sizeof buffer);
            reason = buffer;
        }
    }
    return reason;
}

int newSession(SSL* ssl, SSL_SESSION* session) {
    auto* context = static_cast<TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    auto* key = static_cast<const std::string*>(SSL_get_app_data(ssl));
    if (!context || !key || key->empty()) return 0;
    SSL_SESSION*& slot = context->sessions[*key];
    if (slot) SSL_SESSION_free(slot);
    slot = session;
    return 1; // the reference is ours now
}

TlsContext& contextFor(const std::string& caFile) {
    // Contexts live as long as the process: they are few (one per CA file) and small. They
    // are never destroyed, since OpenSSL may already be cleaned up when static objects go.
    static auto& contexts = *new std::map<std::string, TlsContext>;
    auto found = contexts.find(caFile);
    if (found != contexts.end()) return found->second;

    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) throw ESockError("TLS cannot be set up: " + openSslReason(), SockErrorKind::Tls);
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // The answer ends where the server closes the connection; many servers close without the
    // TLS goodbye, and that is no error for a response that the close ends anyway.
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Reading ahead takes whole socket buffers at once instead of one record's worth.
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_default_read_buffer_len(ctx, 64 * 1024);
    if (SSL_CTX_set_default_verify_paths(ctx) != 1) (void)openSslReason();
    if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
        const std::string reason = openSslReason();
        SSL_CTX_free(ctx);
        throw ESockError("The CA file " + caFile + " cannot be used: " + reason, SockErrorKind::Tls);
    }
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, newSession);
    TlsContext& context = contexts[caFile];
    context.ctx = ctx;
    SSL_CTX_set_app_data(ctx, &context);
    return context;
}

bool isIpAddress(const std::string& host) {
    in_addr v4{};
    in6_addr v6{};
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

} // namespace

Transport::Transport() = default;

Transport::~Transport() {
    detach();
}

void Transport::attach(int fd) {
    detach();
    fd_ = fd;
}

void Transport::detach() {
    if (ssl_) {
        if (established_) (void)SSL_shutdown(ssl_);
        SSL_free(ssl_);
        ERR_clear_error();
    }
    ssl_ = nullptr;
    established_ = false;
    fd_ = -1;
}

void Transport::startTls(const std::string& host, int port, const std::string& caFile) {
    TlsContext& context = contextFor(caFile);
    // The handshake's last flight and the request are small writes in a row; waiting for the
    // first to be acknowledged before sending the second would cost a delayed ACK each time.
    const int one = 1;
    (void)::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (ssl_) SSL_free(ssl_);
    established_ = false;
    ssl_ = SSL_new(context.ctx);
    if (!ssl_) throw ESockError("TLS cannot be set up: " + openSslReason(), SockErrorKind::Tls);
    sessionKey_ = host + ":" + std::to_string(port);
    SSL_set_app_data(ssl_, &sessionKey_);
    SSL_set_fd(ssl_, fd_);
    SSL_set_connect_state(ssl_);
    bool named = true;
    if (isIpAddress(host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str()) == 1;
    } else {
        named = SSL_set1_host(ssl_, host.c_str()) == 1 && SSL_set_tlsext_host_name(ssl_, host.c_str()) == 1;
    }
    if (!named) {
        SSL_free(ssl_);
        ssl_ = nullptr;
        throw ESockError("TLS cannot be set up for the host " + host + ": " + openSslReason(),
                         SockErrorKind::Tls);
    }
    auto kept = context.sessions.find(sessionKey_);
    if (kept != context.sessions.end()) SSL_set_session(ssl_, kept->second);
}

Transport::Result Transport::handshake() {
    ERR_clear_error();
    const int r = SSL_do_handshake(ssl_);
    if (r == 1) {
        established_ = true;
        return {};
    }
    Result result = tlsResult(r, true);
    if (result.status == Status::Failed || result.status == Status::Closed) {
        // A session that led to a failed handshake is not offered again.
        auto* context = static_cast<TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl_)));
        if (auto kept = context->sessions.find(sessionKey_); kept != context->sessions.end()) {
            SSL_SESSION_free(kept->second);
            context->sessions.erase(kept);
        }
    }
    return result;
}

Transport::Result Transport::tlsResult(int returned, bool forHandshake) {
    Result result;
    const int error = SSL_get_error(ssl_, returned);
    switch (error) {
    case SSL_ERROR_WANT_READ:
        result.status = Status::WantRead;
        break;
    case SSL_ERROR_WANT_WRITE:
        result.status = Status::WantWrite;
        break;
    case SSL_ERROR_ZERO_RETURN:
        result.status = Status::Closed;
        break;
    case SSL_ERROR_SYSCALL:
        result.errnoValue = errno;
        result.status = result.errnoValue == 0 ? Status::Closed : Status::Failed;
        result.message = result.errnoValue == 0 ? "the server closed the connection" : std::strerror(errno);
        (void)openSslReason();
        break;
    default: {
        result.status = Status::Failed;
        const long verify = SSL_get_verify_result(ssl_);
        const std::string reason = openSslReason();
        if (forHandshake && verify != X509_V_OK)
            result.message = X509_verify_cert_error_string(verify);
        else
            result.message = reason.empty() ? "TLS error " + std::to_string(error) : reason;
        break;
    }
    }
    if (forHandshake && result.status == Status::Closed) {
        result.status = Status::Failed;
        result.message = "the server closed the connection";
    }
    return result;
}

Transport::Result Transport::send(const char* p, std::size_t n) {
    Result result;
    if (ssl_) {
        ERR_clear_error();
        const int r = SSL_write(ssl_, p, static_cast<int>(std::min<std::size_t>(n, 1 << 30)));
        if (r > 0) {
            result.bytes = static_cast<std::size_t>(r);
            return result;
        }
        return tlsResult(r, false);
    }
    ssize_t r = 0;
    do
        r = ::send(fd_, p, n, MSG_NOSIGNAL);
    while (r < 0 && errno == EINTR);
    if (r >= 0) {
        result.bytes = static_cast<std::size_t>(r);
        return result;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        result.status = Status::WantWrite;
    } else {
        result.status = Status::Failed;
        result.errnoValue = errno;
    }
    return result;
}

Transport::Result Transport::receive(char* p, std::size_t n) {
    Result result;
    if (ssl_) {
        ERR_clear_error();
        const int r = SSL_read(ssl_, p, static_cast<int>(std::min<std::size_t>(n, 1 << 30)));
        if (r > 0) {
            result.bytes = static_cast<std::size_t>(r);
            return result;
        }
        return tlsResult(r, false);
    }
    ssize_t r = 0;
    do
        r = ::recv(fd_, p, n, 0);
    while (r < 0 && errno == EINTR);
    if (r > 0) {
        result.bytes = static_cast<std::size_t>(r);
    } else if (r == 0) {
        result.status = Status::Closed;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        result.status = Status::WantRead;
    } else {
        result.status = Status::Failed;
        result.errnoValue = errno;
    }
    return result;
}

bool Transport::resumed() const {
    return ssl_ != nullptr && SSL_session_reused(ssl_) == 1;
}

bool Transport::hasBuffered() const {
    return ssl_ != nullptr && SSL_has_pending(ssl_) == 1;
}
