#pragma once

#include "http/socket/SpillBuffer.h"
#include "http/socket/ThreadTimer.h"
#include "http/socket/Transport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct sockaddr_in;
class TSockConnection;

// Arms the connection's time-out for as long as it lives: switched off on every way out of the
// operation that armed it.
class ArmedTimer {
public:
    explicit ArmedTimer(TSockConnection& connection);
    ~ArmedTimer();
    ArmedTimer(const ArmedTimer&) = delete;
    ArmedTimer& operator=(const ArmedTimer&) = delete;

private:
    TSockConnection& connection_;
};

// The connection under the socket client (TSockClient, which derives from it): one
// non-blocking IPv4 TCP socket at a time with its Transport, its readiness on the main thread's
// event loop, the receive buffer that readability fills, and the one wait of every operation
// with its time-out and cancellation.
//
// It knows no host names, events or status texts. What happens on the socket, also inside an
// event-loop notification, it hands to the client through ReportStatus and socketEvent; the
// operations that set up a connection and move data over it are the client's.
class TSockConnection {
public:
    // Size of the transfer buffer: the largest chunk sent or received at once.
    static constexpr std::int64_t ChunkSize = 65536;
    // Most bytes one read notification moves from the socket into the receive buffer.
    static constexpr std::int64_t ReadBound = 16 * ChunkSize;
    // Status levels: ReportLevel is the highest level that reaches OnStatus.
    static constexpr int LevelStep = 8;
    static constexpr int LevelDetail = 4;
    static constexpr int LevelCompleted = 2;
    static constexpr int LevelReply = 1;

    virtual ~TSockConnection();
    TSockConnection(const TSockConnection&) = delete;
    TSockConnection& operator=(const TSockConnection&) = delete;

    // Milliseconds a wait may last; 0 waits without limit. A negative value fails at the next
    // wait with ERangeError.
    std::int32_t TimeOut = 0;
    // The last socket error number (see sockerr).
    std::int32_t lastError = 0;

    bool connected() const { return connected_; }
    bool canceled() const { return canceled_; }
    bool timedOut() const { return timedOut_; }

    // Stops the running operation (as the time-out does).
    virtual void Abort();
    void Cancel();
    bool DataAvailable();

protected:
    friend class ArmedTimer;
    TSockConnection();

    // What the client does with what happens on the connection. Neither is called while the
    // connection is being constructed or destroyed.
    virtual void ReportStatus(int level, const std::string& text) = 0;
    enum class SocketEvent { Connected, DataArrived, Disconnected };
    virtual void socketEvent(SocketEvent event) = 0;

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

    // Makes a fresh, unconnected socket the client's; throws ESockError "Initializaton of
    // windows sockets failed" when there is none to be had.
    void createSocket();
    // Closes the socket (firing Disconnected) and, unless the client is being destroyed, makes
    // a fresh one.
    void CloseSocket();
    // Replaces the socket by a fresh one without a word.
    void recycleSocket();
    // Prepares an attempt to connect: every attempt starts on a socket that has never tried.
    void prepareConnect();
    // Starts the attempt to the address; its outcome arrives through handleConnectResult, at
    // once or from a notification. Returns the errno of a failure that is no outcome of the
    // attempt, else 0.
    int startConnect(const sockaddr_in& address);
    // Lets a close return at once, while the system still delivers what is unsent.
    void setNoLinger();
    void handleConnectResult(int error);
    // Watches the socket for writability (which completes a connect).
    void watchSocket();
    // Waits until the socket takes more data, or the operation is cancelled or times out.
    void waitWritable();
    // The errno of a failed send as the socket error table knows it.
    int sendErrno(int errnoValue) const;
    void ClearInput();
    void ReadIntoBuffer();
    TSpillBuffer& receiveBuffer() { return *buffer_; }

    bool canceled_ = false;
    bool timedOut_ = false;
    bool connected_ = false;
    // Whether the last connect attempt or name lookup succeeded.
    bool notifyOk = false;
    // Set while the client is destroyed: first no more events, then no fresh socket either.
    bool beingDestroyed_ = false;
    bool destroying_ = false;
    Transport transport_;
    // TLS's reason when TLS broke the connection; socket errors have only their number.
    std::string breakReason_;
    // Lets callbacks that come back later (a name lookup, TLS's buffered bytes) see that the
    // client is gone.
    std::shared_ptr<TSockConnection*> alive_;

private:
    struct Received {
        std::int64_t bytes = 0;
        bool closed = false;
    };
    void TimerFired();
    void closeDescriptor();
    void onReadable();
    void onWritable();
    void handleClose(bool wasConnected);
    Received receiveChunks();

    bool signal_ = false;
    bool connecting_ = false;
    bool writable_ = false;
    bool socketUsed_ = false;
    int fd_ = -1;
    // Tells the sockets of one client apart, for work posted for one of them.
    std::uint64_t socketSerial_ = 0;
    EventLoop::Handle readWatch_ = 0;
    EventLoop::Handle writeWatch_ = 0;
    TThreadTimer timer_;
    std::unique_ptr<TSpillBuffer> buffer_;
    // Receives land here, not in the transfer buffer: a read notification handled while a
    // stream send pumps the event loop must not overwrite the chunk that is being sent.
    std::unique_ptr<char[]> receiveChunk_ = std::make_unique<char[]>(ChunkSize);
};
