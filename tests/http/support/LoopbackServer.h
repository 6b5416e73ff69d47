#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

// A TCP server on 127.0.0.1 for the socket tests. It runs on a thread of its own with blocking
// calls, so that the client under test can keep the main thread's event loop to itself.
// Each accepted connection is handed to the session, which runs to its end before the next
// accept; the connection is closed when the session returns.
class LoopbackServer {
public:
    using Session = std::function<void(int fd)>;

    explicit LoopbackServer(Session session, int backlog = 16);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return port_; }
    int accepted() const { return accepted_.load(); }
    // Waits up to two seconds for the count of accepted connections to reach n.
    bool waitAccepted(int n) const;

    // Helpers for sessions.
    static void sendAll(int fd, const std::string& bytes);
    // Reads until the peer closes (or the deadline of a few seconds passes).
    static std::string readAll(int fd);
    // Reads until the text holds a "\n" (or the peer closes).
    static std::string readLine(int fd);
    static void pause(int milliseconds);

    // A port on 127.0.0.1 on which nobody listens, held by this process so that no other takes it.
    static std::uint16_t closedPort();

private:
    void run();

    Session session_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<int> accepted_ = 0;
    std::thread thread_;
};
