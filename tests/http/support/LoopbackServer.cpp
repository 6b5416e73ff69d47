#include "tests/http/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::uint16_t boundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

} // namespace

LoopbackServer::LoopbackServer(Session session, int backlog) : session_(std::move(session)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const sockaddr_in address = loopback(0);
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, backlog) != 0 || ::pipe(stopPipe_) != 0)
        throw std::runtime_error("LoopbackServer: cannot listen on 127.0.0.1");
    port_ = boundPort(listener_);
    thread_ = std::thread([this] { run(); });
}

LoopbackServer::~LoopbackServer() {
    const char stop = 1;
    (void)!::write(stopPipe_[1], &stop, 1);
    thread_.join();
    ::close(listener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void LoopbackServer::run() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        if (!session_) continue; // a server that only listens
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++accepted_;
        session_(fd);
        ::close(fd);
    }
}

bool LoopbackServer::waitAccepted(int n) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (accepted_.load() < n && std::chrono::steady_clock::now() < deadline)
        pause(1);
    return accepted_.load() == n;
}

void LoopbackServer::sendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w <= 0) return;
        done += static_cast<std::size_t>(w);
    }
}

std::string LoopbackServer::readAll(int fd) {
    std::string text;
    char chunk[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t r = ::recv(fd, chunk, sizeof chunk, 0);
        if (r <= 0) break;
        text.append(chunk, static_cast<std::size_t>(r));
    }
    return text;
}

std::string LoopbackServer::readLine(int fd) {
    std::string text;
    char byte = 0;
    while (::recv(fd, &byte, 1, 0) == 1) {
        text += byte;
        if (byte == '\n') break;
    }
    return text;
}

void LoopbackServer::pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::uint16_t LoopbackServer::closedPort() {
    // Bound but never listening, and kept so until the process ends: a connection is refused,
    // and no other process (a server of a test running beside) can take the port meanwhile.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return boundPort(fd);
}
