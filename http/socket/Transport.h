#pragma once

#include <cstddef>
#include <memory>
#include <string>

typedef struct ssl_st SSL;

// How the socket client's bytes travel over its connected socket: as they are, or inside TLS.
//
// The transport does no waiting of its own. Each call does what the socket can do now and
// says what it needs to go on (the socket to become readable or writable), so that the socket
// client keeps all waits, time-outs and cancellation in one place.
class Transport {
public:
    enum class Status {
        Done,      // bytes moved (or, for the handshake, it is complete)
        WantRead,  // nothing can move until the socket is readable
        WantWrite, // nothing can move until the socket is writable
        Closed,    // the peer closed the connection
        Failed,    // a socket error (errnoValue) or a TLS failure (message)
    };
    struct Result {
        Status status = Status::Done;
        std::size_t bytes = 0;
        int errnoValue = 0;
        std::string message;
    };

    Transport();
    ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Plain bytes over fd until startTls; fd is not owned.
    void attach(int fd);
    // Sends close_notify when TLS is up (without waiting) and forgets the connection.
    void detach();

    // Begins a TLS client handshake on the attached socket: TLS 1.2 or later, server name
    // indication for a host name, the chain checked against the system's trust store and
    // caFile (when not empty), and the certificate checked against host. A session kept from
    // an earlier connection to the same host and port is offered for resumption.
    // Throws ESockError (kind Tls) when TLS cannot be set up, for example for an unreadable
    // caFile.
    void startTls(const std::string& host, int port, const std::string& caFile);
    // One step of the handshake; Done when it is complete. Failed carries the reason, the
    // certificate check's own when that is what failed.
    Result handshake();
    bool secure() const { return ssl_ != nullptr; }
    // The handshake resumed a session kept from an earlier connection.
    bool resumed() const;
    bool handshaking() const { return ssl_ != nullptr && !established_; }

    Result send(const char* p, std::size_t n);
    Result receive(char* p, std::size_t n);
    // Bytes that the transport has taken from the socket but not handed out yet: after a
    // receive stops early, these arrive with no readiness of the socket to announce them.
    bool hasBuffered() const;

private:
    Result tlsResult(int returned, bool forHandshake);

    int fd_ = -1;
    SSL* ssl_ = nullptr;
    bool established_ = false;
    std::string sessionKey_;
};
