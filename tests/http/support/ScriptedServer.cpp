#include "ScriptedServer.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

// How long the server waits for the rest of a request before it plays the script anyway.
constexpr std::chrono::milliseconds RequestPatience{5000};

std::size_t contentLengthOf(const std::string& head) {
    std::string lower;
    for (char c : head)
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    auto pos = lower.find("\r\ncontent-length: ");
    if (pos == std::string::npos) return 0;
    return static_cast<std::size_t>(std::strtoull(lower.c_str() + pos + 18, nullptr, 10));
}

} // namespace

// One accepted connection, plain or inside TLS.
struct ScriptedServer::Connection {
    int fd = -1;
    SSL* ssl = nullptr;

    ssize_t receive(char* p, std::size_t n, bool dontWait = false) {
        if (ssl) {
            if (dontWait && SSL_pending(ssl) == 0) {
                pollfd q{fd, POLLIN, 0};
                if (::poll(&q, 1, 0) <= 0) return -1;
            }
            return SSL_read(ssl, p, static_cast<int>(n));
        }
        return ::recv(fd, p, n, dontWait ? MSG_DONTWAIT : 0);
    }
    bool sendAll(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ssl ? SSL_write(ssl, bytes.data() + done, static_cast<int>(bytes.size() - done))
                            : ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && !ssl && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
};

ScriptedServer::ScriptedServer(std::vector<Script> scripts) : scripts_(std::move(scripts)) {
    listen();
}

ScriptedServer::ScriptedServer(std::vector<Script> scripts, const Tls& tls) : scripts_(std::move(scripts)) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, tls.certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, tls.keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        throw std::runtime_error("the test server's certificate or key cannot be used");
    tlsContext_ = ctx;
    listen();
}

void ScriptedServer::listen() {
    if (scripts_.empty()) scripts_.push_back({});
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket failed");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0)
        throw std::runtime_error("bind or listen failed");
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer() {
    stopping_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    thread_.join();
    ::close(listenFd_);
    SSL_CTX_free(static_cast<SSL_CTX*>(tlsContext_));
}

void ScriptedServer::setScripts(std::vector<Script> scripts) {
    std::lock_guard lock(mutex_);
    scripts_ = std::move(scripts);
    if (scripts_.empty()) scripts_.push_back({});
}

std::vector<std::string> ScriptedServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string ScriptedServer::allRequests() const {
    std::string all;
    for (const auto& r : requests())
        all += r;
    return all;
}

bool ScriptedServer::waitReadable(Connection& c, std::chrono::milliseconds timeout) {
    if (c.ssl && SSL_pending(c.ssl) > 0) return true;
    const int fd = c.fd;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!stopping_) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 50)));
        if (r > 0) return true;
    }
    return false;
}

void ScriptedServer::run() {
    std::size_t index = 0;
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) continue;
        ++connections_;
        Script script;
        {
            std::lock_guard lock(mutex_);
            script = scripts_[std::min(index, scripts_.size() - 1)];
        }
        ++index;
        Connection c{fd, nullptr};
        if (tlsContext_) {
            // A client that gives up on the handshake must not hold the server.
            timeval patience{5, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
            c.ssl = SSL_new(static_cast<SSL_CTX*>(tlsContext_));
            SSL_set_fd(c.ssl, fd);
            if (SSL_accept(c.ssl) != 1) {
                ++failedHandshakes_;
                SSL_free(c.ssl);
                ::close(fd);
                continue;
            }
        }
        serve(c, script);
        if (c.ssl) {
            SSL_shutdown(c.ssl);
            SSL_free(c.ssl);
        }
        ::close(fd);
    }
}

std::string ScriptedServer::readRequest(Connection& c) {
    std::string data;
    std::size_t wanted = std::string::npos;
    char chunk[65536];
    while (data.size() < wanted) {
        if (!waitReadable(c, RequestPatience)) break;
        ssize_t n = c.receive(chunk, sizeof chunk);
        if (n <= 0) break;
        data.append(chunk, static_cast<std::size_t>(n));
        if (wanted == std::string::npos) {
            auto end = data.find("\r\n\r\n");
            if (end != std::string::npos) wanted = end + 4 + contentLengthOf(data.substr(0, end + 2));
        }
    }
    return data;
}

void ScriptedServer::serve(Connection& c, const Script& script) {
    const int fd = c.fd;
    std::size_t recorded = 0;
    bool skip = !script.empty() && script.front().kind == Step::Kind::SkipRequest;
    if (!skip) {
        std::string request = readRequest(c);
        std::lock_guard lock(mutex_);
        recorded = requests_.size();
        requests_.push_back(std::move(request));
    }
    for (const Step& step : script) {
        if (stopping_) return;
        switch (step.kind) {
        case Step::Kind::Send:
            if (!c.sendAll(step.bytes)) return;
            break;
        case Step::Kind::Sleep: {
            auto until = std::chrono::steady_clock::now() + step.duration;
            while (!stopping_ && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            break;
        }
        case Step::Kind::SendForever:
            while (!stopping_ && c.sendAll(step.bytes)) {
                sentForever_ += static_cast<std::int64_t>(step.bytes.size());
                if (step.duration.count() > 0) std::this_thread::sleep_for(step.duration);
            }
            return;
        case Step::Kind::HoldOpen: {
            auto until = std::chrono::steady_clock::now() + step.duration;
            char scratch[4096];
            while (!stopping_ && std::chrono::steady_clock::now() < until) {
                if (waitReadable(c, std::chrono::milliseconds(20)) && c.receive(scratch, sizeof scratch) <= 0)
                    return;
            }
            break;
        }
        case Step::Kind::Reset: {
            linger l{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            return;
        }
        case Step::Kind::Close:
            return;
        case Step::Kind::SkipRequest:
            break;
        }
    }
    // Bytes the client sent beyond its announced request belong to the record too: a test
    // that compares requests must see them.
    if (!skip) {
        char extra[65536];
        ssize_t n;
        std::string more;
        while ((n = c.receive(extra, sizeof extra, true)) > 0)
            more.append(extra, static_cast<std::size_t>(n));
        if (!more.empty()) {
            std::lock_guard lock(mutex_);
            requests_[recorded] += more;
        }
    }
}
