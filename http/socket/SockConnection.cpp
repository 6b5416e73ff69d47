#include "http/socket/SockConnection.h"

#include "http/socket/SockError.h"

#include <cerrno>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Errors that a non-blocking connect may report at once on loopback; elsewhere they arrive
// later as the result of the attempt, so they are handled the same way here.
bool isConnectOutcome(int error) {
    return error == ECONNREFUSED || error == ENETUNREACH || error == EHOSTUNREACH || error == ETIMEDOUT;
}

} // namespace

TSockConnection::TSockConnection()
    : alive_(std::make_shared<TSockConnection*>(this)), buffer_(std::make_unique<TSpillBuffer>()) {
    timer_.setEnabled(false);
    timer_.setOnTimer([this](TThreadTimer&) { TimerFired(); });
}

TSockConnection::~TSockConnection() {
    // The client closes the socket as it is destroyed; this only makes sure no descriptor stays
    // open behind it.
    if (fd_ >= 0) closeDescriptor();
}

// ---- signal, time-out, cancel -------------------------------------------------------------

void TSockConnection::RaiseSignal() {
    signal_ = true;
}

void TSockConnection::WaitForSignal() {
    EventLoop& loop = EventLoop::instance();
    while (!signal_)
        loop.pump(EventLoop::PumpMode::WaitForEvents);
    signal_ = false;
}

bool TSockConnection::waitUntil(const std::function<bool()>& done, Arming arming) {
    std::optional<ArmedTimer> armed;
    if (arming == Arming::Arm) armed.emplace(*this);
    while (!canceled_ && !timedOut_) {
        if (done()) return true;
        WaitForSignal();
    }
    return false;
}

void TSockConnection::TimerOn() {
    ReportStatus(LevelStep, "Timer On");
    timedOut_ = false;
    timer_.setEnabled(false);
    if (TimeOut < 0) throw ERangeError();
    timer_.setInterval(static_cast<std::uint32_t>(TimeOut));
    timer_.setEnabled(true);
}

void TSockConnection::TimerOff() {
    ReportStatus(LevelStep, "Timer Off");
    timer_.setEnabled(false);
}

void TSockConnection::TimerFired() {
    ReportStatus(LevelStep, "Timer Triggered");
    TimerOff();
    timedOut_ = true;
    RaiseSignal();
    Abort();
}

void TSockConnection::Abort() {
    ReportStatus(LevelStep, "Abort");
    Cancel();
}

void TSockConnection::Cancel() {
    ReportStatus(LevelStep, "Canceling");
    canceled_ = true;
    RaiseSignal();
}

ArmedTimer::ArmedTimer(TSockConnection& connection) : connection_(connection) {
    connection_.TimerOn();
}

ArmedTimer::~ArmedTimer() {
    connection_.TimerOff();
}

// ---- the socket and its notifications -------------------------------------------------------

void TSockConnection::createSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) throw ESockError("Initializaton of windows sockets failed");
    fd_ = fd;
    ++socketSerial_;
    transport_.attach(fd);
    socketUsed_ = false;
}

void TSockConnection::closeDescriptor() {
    EventLoop& loop = EventLoop::instance();
    if (readWatch_) loop.unwatchDescriptor(readWatch_);
    if (writeWatch_) loop.unwatchDescriptor(writeWatch_);
    readWatch_ = writeWatch_ = 0;
    transport_.detach();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    connecting_ = false;
    writable_ = false;
}

void TSockConnection::recycleSocket() {
    connected_ = false;
    closeDescriptor();
    if (!destroying_) createSocket();
}

void TSockConnection::CloseSocket() {
    ReportStatus(LevelDetail, "Request Close Socket");
    connected_ = false;
    if (fd_ < 0) return;
    closeDescriptor();
    if (!beingDestroyed_) socketEvent(SocketEvent::Disconnected);
    // Between connections the client always holds a fresh, unconnected socket.
    if (!destroying_) createSocket();
}

void TSockConnection::watchSocket() {
    EventLoop& loop = EventLoop::instance();
    if (!writeWatch_)
        writeWatch_ = loop.watchDescriptor(fd_, EventLoop::Readiness::Write, [this] { onWritable(); });
    else
        loop.setWatch(writeWatch_, EventLoop::Watch::On);
}

void TSockConnection::onWritable() {
    try {
        if (connecting_) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
            handleConnectResult(error);
            return;
        }
        writable_ = true;
        if (writeWatch_) EventLoop::instance().setWatch(writeWatch_, EventLoop::Watch::Off);
        RaiseSignal();
    } catch (...) {
        // Notification handlers swallow every error; the waiting operation sees the state.
    }
}

void TSockConnection::prepareConnect() {
    if (fd_ < 0 || socketUsed_) recycleSocket();
    socketUsed_ = true;
    notifyOk = true;
    connecting_ = true;
}

int TSockConnection::startConnect(const sockaddr_in& address) {
    watchSocket();
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        handleConnectResult(0);
    } else if (errno != EINPROGRESS && errno != EINTR) {
        if (!isConnectOutcome(errno)) return errno;
        handleConnectResult(errno);
    }
    return 0;
}

void TSockConnection::setNoLinger() {
    const linger noLinger{0, 0};
    (void)::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
}

void TSockConnection::handleConnectResult(int error) {
    if (!connecting_) return;
    connecting_ = false;
    EventLoop& loop = EventLoop::instance();
    if (writeWatch_) loop.setWatch(writeWatch_, EventLoop::Watch::Off);
    notifyOk = error == 0;
    if (!notifyOk) {
        lastError = sockerr::fromErrno(error);
        RaiseSignal();
        return;
    }
    connected_ = true;
    // Reading is watched only on an established connection: an unconnected socket reports
    // itself readable (hung up) all the time, and a read there would swallow the connect error.
    readWatch_ = loop.watchDescriptor(fd_, EventLoop::Readiness::Read, [this] { onReadable(); });
    RaiseSignal();
    socketEvent(SocketEvent::Connected);
}

void TSockConnection::onReadable() {
    if (transport_.handshaking()) {
        // The handshake reads for itself; readiness only has to wake it.
        RaiseSignal();
        return;
    }
    try {
        const bool wasConnected = connected_;
        const Received received = receiveChunks();
        if (received.bytes > 0) socketEvent(SocketEvent::DataArrived);
        // End of stream (or a reset) is this platform's close notification.
        if (received.closed) handleClose(wasConnected);
    } catch (...) {
        // Notification handlers swallow every error; the waiting operation sees the state.
    }
}

void TSockConnection::handleClose(bool wasConnected) {
    if (wasConnected) {
        try {
            ClearInput();
            CloseSocket();
        } catch (...) {
        }
    } else {
        // The end was already seen by a receive outside a notification; the socket is
        // replaced quietly so that it stops reporting itself readable.
        recycleSocket();
    }
    RaiseSignal();
    socketEvent(SocketEvent::Disconnected);
}

TSockConnection::Received TSockConnection::receiveChunks() {
    Received received;
    // Full chunks mean more is probably waiting, so they are drained at once; but only up to
    // ReadBound per notification. The socket stays readable, so the rest comes with the next
    // notification, after the waiting capture has taken this part out of the receive buffer.
    // That keeps a large body cycling through the same few pages of the buffer, gives the
    // capture a chance to report each piece, and lets its body-size bound stop a fast
    // endless sender. TLS hands out at most a record at a time, so there any piece means
    // more may follow.
    const bool secure = transport_.secure();
    while (fd_ >= 0 && received.bytes < ReadBound) {
        const Transport::Result r = transport_.receive(receiveChunk_.get(), ChunkSize);
        if (r.status == Transport::Status::Done) {
            buffer_->Write(receiveChunk_.get(), static_cast<std::int64_t>(r.bytes));
            received.bytes += static_cast<std::int64_t>(r.bytes);
            if (secure || static_cast<std::int64_t>(r.bytes) == ChunkSize) continue;
            break;
        }
        if (r.status == Transport::Status::Closed) {
            connected_ = false;
            received.closed = true;
        } else if (r.status == Transport::Status::Failed) {
            // A reset connection reads as closed; it stays readable, so it must be closed.
            lastError = r.errnoValue != 0 ? sockerr::fromErrno(r.errnoValue) : sockerr::fromErrno(ECONNRESET);
            breakReason_ = r.message;
            connected_ = false;
            received.closed = true;
        }
        break;
    }
    // Bytes that TLS already took from the socket do not make it readable again, so they
    // are fetched by a notification of our own.
    if (!received.closed && transport_.hasBuffered()) {
        std::weak_ptr<TSockConnection*> alive = alive_;
        EventLoop::instance().post([alive, socket = socketSerial_] {
            // Only for the connection that left the bytes: by now it may have been replaced.
            if (auto self = alive.lock(); self && (*self)->socketSerial_ == socket && (*self)->connected_)
                (*self)->onReadable();
        });
    }
    RaiseSignal();
    return received;
}

void TSockConnection::ReadIntoBuffer() {
    receiveChunks();
}

void TSockConnection::ClearInput() {
    ReportStatus(LevelStep, "Clearing Input");
    if (fd_ >= 0) (void)::recv(fd_, receiveChunk_.get(), ChunkSize, 0);
}

bool TSockConnection::DataAvailable() {
    if (buffer_->totalCount() > 0) return true;
    if (fd_ < 0) return false;
    if (transport_.secure()) {
        // Encrypted bytes on the socket may hold no data at all, so only TLS can tell.
        ReadIntoBuffer();
        return buffer_->totalCount() > 0;
    }
    char byte = 0;
    if (::recv(fd_, &byte, 1, MSG_PEEK) > 0) {
        ReadIntoBuffer();
        return true;
    }
    return false;
}

// ---- sending --------------------------------------------------------------------------------

void TSockConnection::waitWritable() {
    const int fd = fd_;
    writable_ = false;
    watchSocket();
    waitUntil([this, fd] { return writable_ || fd_ != fd || !writeWatch_; }, Arming::AsArmed);
    if (writeWatch_) EventLoop::instance().setWatch(writeWatch_, EventLoop::Watch::Off);
}

int TSockConnection::sendErrno(int errnoValue) const {
    // Linux reports a send on a socket that never connected as a broken pipe; it is the
    // "not connected" of the socket error table.
    if (errnoValue == EPIPE && !socketUsed_) return ENOTCONN;
    return errnoValue;
}
