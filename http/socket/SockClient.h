#pragma once

#include "http/socket/SockConnection.h"
#include "http/socket/SockError.h"
#include "http/socket/Stream.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A TCP client socket for one connection at a time, on the main thread's event loop.
//
// It resolves Host (or Proxy) to an IPv4 address, connects without blocking, sends text,
// blocks, streams and files, and moves everything it receives into a TSpillBuffer, from which
// it hands out lines or everything up to the peer's close. After StartTls the same operations
// travel inside TLS: the bytes, waits, time-outs, events and messages are those of a plain
// connection. Every operation that waits for the
// network waits in WaitForSignal, which pumps the event loop, so timers, other sockets and the
// window keep running meanwhile. TimeOut bounds each wait: when it runs out the operation is
// cancelled and ends with the exception of its kind. The socket, its notifications and the wait
// are those of TSockConnection, which the client is built on.
//
// Events are optional: each is fired only when set. Exceptions thrown by status and
// notification handlers are swallowed, so a faulty handler cannot break the transfer.
class TSockClient : public TSockConnection {
public:
    using NotifyEvent = std::function<void(TSockClient& sender)>;
    using StatusEvent = std::function<void(TSockClient& sender, const std::string& status)>;
    using SocketErrorEvent =
        std::function<void(TSockClient& sender, std::uint16_t error, const std::string& message)>;
    using HandlerEvent = std::function<void(bool& handled)>;

    // Throws ESockError "Initializaton of windows sockets failed" when no socket can be made.
    TSockClient();
    ~TSockClient() override;
    TSockClient(const TSockClient&) = delete;
    TSockClient& operator=(const TSockClient&) = delete;
    // TimeOut, lastError, connected(), canceled(), timedOut(), Abort, Cancel and DataAvailable
    // come with the connection (TSockConnection).

    // Remote end. With Proxy set, the lookup and the connection go to Proxy and ProxyPort.
    std::string Host;
    std::int32_t Port = 0;
    std::string Proxy;
    std::int32_t ProxyPort = 0;
    std::int32_t ReportLevel = 0;
    // A PEM file of certificates that TLS trusts besides the system's store; empty for none.
    std::string CAFile;

    NotifyEvent OnConnect;
    NotifyEvent OnDisconnect;
    NotifyEvent OnConnectionFailed;
    NotifyEvent OnHostResolved;
    HandlerEvent OnInvalidHost;
    StatusEvent OnStatus;
    SocketErrorEvent OnSocketError;
    NotifyEvent OnDataArrived;
    NotifyEvent OnAccepted;
    NotifyEvent OnPacketRecvd;
    NotifyEvent OnPacketSent;

    // State the owner and a derived client read (and the HTTP layer sets bytesTotal and
    // replyNumber from the response); lastError is the connection's.
    std::vector<std::string> socketInfo;
    std::int64_t bytesSent = 0;
    std::int64_t bytesTotal = 0;
    std::int64_t bytesReceived = 0;
    std::string statusText;
    std::string lastReply;
    std::int16_t replyNumber = 0;

    // The last TLS handshake resumed a session of an earlier connection to the same host.
    bool tlsResumed() const { return tlsResumed_; }

    // Resolves and connects. ESockError "Already connected", "Host Lookup Timed Out",
    // "Host Lookup Canceled", "Null Remote Address", "Connection Timed out",
    // "Connection Canceled", "Connection Failed", or the text of a socket error.
    virtual void Connect();
    virtual void Disconnect();
    // Sends the command as a line and returns the reply line; its leading digits become
    // replyNumber.
    virtual std::string Transaction(const std::string& command);
    // Speaks TLS from here on over the connected socket, after a handshake with host (whose
    // certificate must be valid for it; port tells sessions of one host apart). Each wait of
    // the handshake is bounded by TimeOut. ESockError of kind Tls "TLS handshake with HOST
    // failed: REASON", "... timed out" or "... canceled"; the caller closes the connection.
    void StartTls(const std::string& host, std::int32_t port);

    // Sends the whole text, zero bytes included.
    void Write(std::string_view text);
    void Writeln(std::string_view text);
    // Sends n bytes from p; n = 0 sends up to the first zero byte (at most 65535 bytes, else
    // ERangeError).
    void SendBuffer(const char* p, std::uint16_t n);
    // Sends the stream from its start; bytesTotal is its size. Arms no time-out.
    void SendStream(TStream& stream);
    void SendFile(const std::string& name);

    // The next line including its "\n" (and any "\r" before it). EAbortError
    // "Socket readln aborted" on a time-out or cancel.
    std::string ReadLn();
    // Captures until the peer closes; EAbortError "Socket capture aborted" when a time-out
    // or cancel comes first. TimeOut bounds the silence between pieces, not the whole capture.
    void CaptureFile(const std::string& name);
    // Stops also when the stream's size reaches limit; limit -1 takes only what is buffered.
    void CaptureStream(TStream& stream, std::int64_t limit);
    // limit -2: until the peer closes. Every received byte is returned, whatever the chunking.
    void CaptureString(std::string& text, std::int64_t limit);

    // The text of a socket error number (reports "Looking Up Error Message").
    std::string SocketErrorText(int number);

protected:
    void ReportStatus(int level, const std::string& text) override;
    void socketEvent(SocketEvent event) override;
    // Reads the pending socket error; unless it is the one to ignore or at most 10000, fires
    // OnSocketError and throws ESockError with its text. Returns the text otherwise empty.
    std::string CheckSocketError(int errnoValue, int ignore);
    void ResolveHost();
    // The text of the failure that broke the connection: TLS's own reason, or the socket
    // error's text.
    std::string brokenText();

    bool lookupDone = false;
    // Shared by the send steps and the captures; one more byte for a terminating zero.
    std::array<char, ChunkSize + 1> transferBuffer_{};

private:
    void onLookupDone(std::uint64_t generation, int error, std::uint32_t address);
    // Resolves Host (or Proxy); a name without an address gets one repair by OnInvalidHost.
    // ESockError "Null Remote Address" when there is still none.
    void resolveOrRepair();
    // Whether the send loops dispatch pending events after every attempt.
    enum class AfterAttempt { Continue, Pump };
    struct Sent {
        std::size_t bytes = 0;
        bool stalled = false; // a send took nothing
    };
    // Sends n bytes from p, attempt by attempt, waiting for send space as needed, until all
    // went out, a send took nothing, or the operation was cancelled or timed out. afterPiece
    // runs after each piece that went out.
    Sent sendAll(const char* p, std::size_t n, const std::function<void(std::size_t)>& afterPiece,
                 AfterAttempt after);
    void fire(const NotifyEvent& event);

    bool tlsResumed_ = false;
    std::uint32_t remoteAddress_ = 0; // network byte order; 0 is none
    std::uint64_t lookupGeneration_ = 0;
    std::uint32_t lookupAddress_ = 0;
};
