#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback HTTP server for tests that plays a script per connection.
//
// It listens on 127.0.0.1 on a free port and serves connections one after another on its own
// thread, so that the client under test can wait on the main thread's event loop. For each
// connection it first reads the request (the header up to its blank line, then as many body
// bytes as its Content-Length announces), records the bytes, and then runs that connection's
// script. Connections beyond the scripts given replay the last script, which is what a
// redirect loop needs.
class ScriptedServer {
public:
    struct Step {
        enum class Kind {
            Send,        // send bytes
            Sleep,       // wait, without reading or sending
            SendForever, // send bytes again and again until the client goes away, pausing
                         // for duration after each time
            HoldOpen,    // keep the connection open until the client closes it or the time ends
            Reset,       // abort the connection with a TCP reset
            Close,       // close now (the end of every script closes too)
            SkipRequest, // do not wait for the request before the steps that follow
        };
        Kind kind;
        std::string bytes;
        std::chrono::milliseconds duration{0};
    };
    using Script = std::vector<Step>;

    static Step send(std::string bytes) { return {Step::Kind::Send, std::move(bytes), {}}; }
    static Step sleep(std::chrono::milliseconds d) { return {Step::Kind::Sleep, {}, d}; }
    static Step sendForever(std::string chunk, std::chrono::milliseconds pause = {}) {
        return {Step::Kind::SendForever, std::move(chunk), pause};
    }
    static Step holdOpen(std::chrono::milliseconds d) { return {Step::Kind::HoldOpen, {}, d}; }
    static Step reset() { return {Step::Kind::Reset, {}, {}}; }
    static Step close() { return {Step::Kind::Close, {}, {}}; }
    static Step skipRequest() { return {Step::Kind::SkipRequest, {}, {}}; }

    // The certificate (with its chain) and key of a server that speaks TLS.
    struct Tls {
        std::string certificateFile;
        std::string keyFile;
    };

    explicit ScriptedServer(std::vector<Script> scripts = {});
    // Speaks TLS on every connection: the scripts and the records are the bytes inside it.
    ScriptedServer(std::vector<Script> scripts, const Tls& tls);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // Replaces the scripts; for replies that must name the server's own port. Call it before
    // the first connection.
    void setScripts(std::vector<Script> scripts);

    std::uint16_t port() const { return port_; }
    // Every request received so far, in order, each exactly as its bytes arrived.
    std::vector<std::string> requests() const;
    // All requests joined, as curl's test files compare them.
    std::string allRequests() const;
    int connections() const { return connections_.load(); }
    // Connections whose TLS handshake failed; they get no script and no record.
    int failedHandshakes() const { return failedHandshakes_.load(); }
    // Bytes sent by SendForever steps so far.
    std::int64_t bytesSentForever() const { return sentForever_.load(); }

    struct Connection;

private:
    void listen();
    void run();
    void serve(Connection& c, const Script& script);
    std::string readRequest(Connection& c);
    // Waits until the connection has bytes to read or the time has passed; false when stopping.
    bool waitReadable(Connection& c, std::chrono::milliseconds timeout);

    std::vector<Script> scripts_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_ = false;
    std::atomic<int> connections_ = 0;
    std::atomic<int> failedHandshakes_ = 0;
    void* tlsContext_ = nullptr; // SSL_CTX, kept out of this header
    std::atomic<std::int64_t> sentForever_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};
