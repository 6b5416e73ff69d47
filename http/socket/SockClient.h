#pragma once

#include "http/socket/SockError.h"
#include "http/socket/SpillBuffer.h"
#include "http/socket/Stream.h"
#include "http/socket/ThreadTimer.h"
#include "http/socket/Transport.h"
#include "platform/EventLoop.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TSockClient;

// Arms the socket client's time-out for as long as it lives: switched off on every way out of
// the operation that armed it.
class ArmedTimer {
public:
    explicit ArmedTimer(TSockClient& client);
    ~ArmedTimer();
    ArmedTimer(const ArmedTimer&) = delete;
    ArmedTimer& operator=(const ArmedTimer&) = delete;

private:
    TSockClient& client_;
};

// A TCP client socket for one connection at a time, on the main thread's event loop.
//
// It resolves Host (or Proxy) to an IPv4 address, connects without blocking, sends text,
// blocks, streams and files, and moves everything it receives into a TSpillBuffer, from which
// it hands out lines or everything up to the peer's close. After StartTls the same operations
// travel inside TLS: the bytes, waits, time-outs, events and messages are those of a plain
// connection. Every operation that waits for the
// network waits in WaitForSignal, which pumps the event loop, so timers, other sockets and the
// window keep running meanwhile. TimeOut bounds each wait: when it runs out the operation is
// cancelled and ends with the exception of its kind.
//
// Events are optional: each is fired only when set. Exceptions thrown by status and
// notification handlers are swallowed, so a faulty handler cannot break the transfer.
class TSockClient {
public:
    using NotifyEvent = std::function<void(TSockClient& sender)>;
    using StatusEvent = std::function<void(TSockClient& sender, const std::string& status)>;
    using SocketErrorEvent =
        std::function<void(TSockClient& sender, std::uint16_t error, const std::string& message)>;
    using HandlerEvent = std::function<void(bool& handled)>;

    // Size of the transfer buffer: the largest chunk sent or received at once.
    static constexpr std::int64_t ChunkSize = 65536;
    // Most bytes one read notification moves from the socket into the receive buffer.
    static constexpr std::int64_t ReadBound = 16 * ChunkSize;
    // Status levels: ReportLevel is the highest level that reaches OnStatus.
    static constexpr int LevelStep = 8;
    static constexpr int LevelDetail = 4;
    static constexpr int LevelCompleted = 2;
    static constexpr int LevelReply = 1;

    // Throws ESockError "Initializaton of windows sockets failed" when no socket can be made.
    TSockClient();
    virtual ~TSockClient();
    TSockClient(const TSockClient&) = delete;
    TSockClient& operator=(const TSockClient&) = delete;

    // Remote end. With Proxy set, the lookup and the connection go to Proxy and ProxyPort.
    std::string Host;
    std::int32_t Port = 0;
    std::string Proxy;
    std::int32_t ProxyPort = 0;
    // Milliseconds a wait may last; 0 waits without limit. A negative value fails at the next
    // wait with ERangeError.
    std::int32_t TimeOut = 0;
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
    // replyNumber from the response).
    std::vector<std::string> socketInfo;
    std::int64_t bytesSent = 0;
    std::int64_t bytesTotal = 0;
    std::int64_t bytesReceived = 0;
    std::int32_t lastError = 0;
    std::string statusText;
    std::string lastReply;
    std::int16_t replyNumber = 0;

    bool connected() const { return connected_; }
    bool canceled() const { return canceled_; }
    bool timedOut() const { return timedOut_; }
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
    // Stops the running operation (as the time-out does).
    virtual void Abort();
    void Cancel();
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
    bool DataAvailable();
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
    friend class ArmedTimer;
    // Whether a wait arms the time-out for itself (and switches it off on every way out), or
    // runs under the time-out as the operation around it armed it.
    enum class Arming { Arm, AsArmed };
    // The one wait of every operation: pumps the event loop until done() holds or the
    // operation is cancelled or times out, looking at the flags before each call of done().
    // Returns whether done() held; the caller raises the error of its kind otherwise.
    bool waitUntil(const std::function<bool()>& done, Arming arming);
    // Pumps the event loop until the signal is raised, then clears it.
    void WaitForSignal();
    void RaiseSignal();
    void TimerOn();
    void TimerOff();
    void ReportStatus(int level, const std::string& text);
    // Reads the pending socket error; unless it is the one to ignore or at most 10000, fires
    // OnSocketError and throws ESockError with its text. Returns the text otherwise empty.
    std::string CheckSocketError(int errnoValue, int ignore);
    void ResolveHost();
    void CloseSocket();
    void ClearInput();
    void ReadIntoBuffer();
    TSpillBuffer& receiveBuffer() { return *buffer_; }
    // The text of the failure that broke the connection: TLS's own reason, or the socket
    // error's text.
    std::string brokenText();

    bool canceled_ = false;
    bool timedOut_ = false;
    bool connected_ = false;
    bool lookupDone = false;
    bool notifyOk = false;
    // Shared by the send steps and the captures; one more byte for a terminating zero.
    std::array<char, ChunkSize + 1> transferBuffer_{};

private:
    struct Received {
        std::int64_t bytes = 0;
        bool closed = false;
    };
    void TimerFired();
    void createSocket();
    void closeDescriptor();
    void recycleSocket();
    void watchSocket();
    void onReadable();
    void onWritable();
    void handleClose(bool wasConnected);
    void handleConnectResult(int error);
    void onLookupDone(std::uint64_t generation, int error, std::uint32_t address);
    // Resolves Host (or Proxy); a name without an address gets one repair by OnInvalidHost.
    // ESockError "Null Remote Address" when there is still none.
    void resolveOrRepair();
    Received receiveChunks();
    // Waits until the socket takes more data, or the operation is cancelled or times out.
    void waitWritable();
    int sendErrno(int errnoValue) const;
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

    bool signal_ = false;
    bool tlsResumed_ = false;
    bool destroying_ = false;
    bool beingDestroyed_ = false;
    bool connecting_ = false;
    bool writable_ = false;
    bool socketUsed_ = false;
    int fd_ = -1;
    // Tells the sockets of one client apart, for work posted for one of them.
    std::uint64_t socketSerial_ = 0;
    std::uint32_t remoteAddress_ = 0; // network byte order; 0 is none
    std::uint64_t lookupGeneration_ = 0;
    std::uint32_t lookupAddress_ = 0;
    EventLoop::Handle readWatch_ = 0;
    EventLoop::Handle writeWatch_ = 0;
    TThreadTimer timer_;
    std::unique_ptr<TSpillBuffer> buffer_;
    Transport transport_;
    // TLS's reason when TLS broke the connection; socket errors have only their number.
    std::string breakReason_;
    // Receives land here, not in the transfer buffer: a read notification handled while a
    // stream send pumps the event loop must not overwrite the chunk that is being sent.
    std::unique_ptr<char[]> receiveChunk_ = std::make_unique<char[]>(ChunkSize);
    // Lets callbacks that come back later (the name lookup) see that this client is gone.
    std::shared_ptr<TSockClient*> alive_;
};
