#include "http/socket/SockClient.h"

#include "platform/HostLookup.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Live socket clients of the process; the first one fills in the socket description.
int liveClients = 0;

// Errors that a non-blocking connect may report at once on loopback; elsewhere they arrive
// later as the result of the attempt, so they are handled the same way here.
bool isConnectOutcome(int error) {
    return error == ECONNREFUSED || error == ENETUNREACH || error == EHOSTUNREACH || error == ETIMEDOUT;
}

} // namespace

TSockClient::TSockClient()
    : buffer_(std::make_unique<TSpillBuffer>()), alive_(std::make_shared<TSockClient*>(this)) {
    timer_.setEnabled(false);
    timer_.setOnTimer([this](TThreadTimer&) { TimerFired(); });
    ReportStatus(LevelStep, "Initializing Winsock");
    const bool first = liveClients++ == 0;
    try {
        if (first) {
            rlimit files{};
            const long maxSockets =
                ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? static_cast<long>(files.rlim_cur) : 0;
            socketInfo = {"Version= 1.1",
                          "High Version= 1.1",
                          "Description= POSIX sockets, non-blocking, IPv4",
                          "System= Running",
                          "Max Sockets= " + std::to_string(maxSockets),
                          "Max Udp pack size= 65507"};
        }
        createSocket();
    } catch (...) {
        --liveClients;
        throw ESockError("Initializaton of windows sockets failed");
    }
}

TSockClient::~TSockClient() {
    beingDestroyed_ = true;
    // A derived client is already gone here, so this is the socket client's own Abort.
    TSockClient::Abort();
    Cancel();
    alive_.reset();
    destroying_ = true;
    try {
        CloseSocket();
    } catch (...) {
        // Nothing can be reported from a destructor.
    }
    --liveClients;
}

// ---- status, signal, time-out -------------------------------------------------------------

void TSockClient::ReportStatus(int level, const std::string& text) {
    if (level > ReportLevel) return;
    statusText = text;
    if (beingDestroyed_ || !OnStatus) return;
    try {
        OnStatus(*this, statusText);
    } catch (...) {
        // A faulty status display must not break the transfer it reports on.
    }
}

void TSockClient::fire(const NotifyEvent& event) {
    if (event && !beingDestroyed_) event(*this);
}

void TSockClient::RaiseSignal() {
    signal_ = true;
}

void TSockClient::WaitForSignal() {
    EventLoop& loop = EventLoop::instance();
    while (!signal_)
        loop.pump(EventLoop::PumpMode::WaitForEvents);
    signal_ = false;
}

bool TSockClient::waitUntil(const std::function<bool()>& done, Arming arming) {
    std::optional<ArmedTimer> armed;
    if (arming == Arming::Arm) armed.emplace(*this);
    while (!canceled_ && !timedOut_) {
        if (done()) return true;
        WaitForSignal();
    }
    return false;
}

void TSockClient::TimerOn() {
    ReportStatus(LevelStep, "Timer On");
    timedOut_ = false;
    timer_.setEnabled(false);
    if (TimeOut < 0) throw ERangeError();
    timer_.setInterval(static_cast<std::uint32_t>(TimeOut));
    timer_.setEnabled(true);
}

void TSockClient::TimerOff() {
    ReportStatus(LevelStep, "Timer Off");
    timer_.setEnabled(false);
}

void TSockClient::TimerFired() {
    ReportStatus(LevelStep, "Timer Triggered");
    TimerOff();
    timedOut_ = true;
    RaiseSignal();
    Abort();
}

void TSockClient::Abort() {
    ReportStatus(LevelStep, "Abort");
    Cancel();
}

void TSockClient::Cancel() {
    ReportStatus(LevelStep, "Canceling");
    canceled_ = true;
    RaiseSignal();
}

// ---- errors -------------------------------------------------------------------------------

std::string TSockClient::SocketErrorText(int number) {
    ReportStatus(LevelStep, "Looking Up Error Message");
    return sockerr::text(number);
}

std::string TSockClient::CheckSocketError(int errnoValue, int ignore) {
    const int e = sockerr::fromErrno(errnoValue);
    lastError = e;
    if (e == ignore || e <= 10000) return {};
    const std::string message = SocketErrorText(e);
    if (OnSocketError) {
        try {
            OnSocketError(*this, static_cast<std::uint16_t>(e), message);
        } catch (...) {
            // The socket error below is what the caller has to learn about.
        }
    }
    throw ESockError(message);
}

// ---- the socket and its notifications -------------------------------------------------------

void TSockClient::createSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) throw ESockError("Initializaton of windows sockets failed");
    fd_ = fd;
    ++socketSerial_;
    transport_.attach(fd);
    socketUsed_ = false;
}

void TSockClient::closeDescriptor() {
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

void TSockClient::recycleSocket() {
    connected_ = false;
    closeDescriptor();
    if (!destroying_) createSocket();
}

void TSockClient::watchSocket() {
    EventLoop& loop = EventLoop::instance();
    if (!writeWatch_)
        writeWatch_ = loop.watchDescriptor(fd_, EventLoop::Readiness::Write, [this] { onWritable(); });
    else
        loop.setWatch(writeWatch_, EventLoop::Watch::On);
}

void TSockClient::onWritable() {
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

void TSockClient::handleConnectResult(int error) {
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
    fire(OnConnect);
}

void TSockClient::onReadable() {
    if (transport_.handshaking()) {
        // The handshake reads for itself; readiness only has to wake it.
        RaiseSignal();
        return;
    }
    try {
        const bool wasConnected = connected_;
        const Received received = receiveChunks();
        if (received.bytes > 0) fire(OnDataArrived);
        // End of stream (or a reset) is this platform's close notification.
        if (received.closed) handleClose(wasConnected);
    } catch (...) {
        // Notification handlers swallow every error; the waiting operation sees the state.
    }
}

void TSockClient::handleClose(bool wasConnected) {
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
    fire(OnDisconnect);
}

TSockClient::Received TSockClient::receiveChunks() {
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
        std::weak_ptr<TSockClient*> alive = alive_;
        EventLoop::instance().post([alive, socket = socketSerial_] {
            // Only for the connection that left the bytes: by now it may have been replaced.
            if (auto self = alive.lock(); self && (*self)->socketSerial_ == socket && (*self)->connected_)
                (*self)->onReadable();
        });
    }
    RaiseSignal();
    return received;
}

void TSockClient::ReadIntoBuffer() {
    receiveChunks();
}

std::string TSockClient::brokenText() {
    if (!breakReason_.empty()) return "TLS connection failed: " + breakReason_;
    return SocketErrorText(lastError);
}

void TSockClient::ClearInput() {
    ReportStatus(LevelStep, "Clearing Input");
    if (fd_ >= 0) (void)::recv(fd_, receiveChunk_.get(), ChunkSize, 0);
}

void TSockClient::CloseSocket() {
    ReportStatus(LevelDetail, "Request Close Socket");
    connected_ = false;
    if (fd_ < 0) return;
    closeDescriptor();
    if (!beingDestroyed_) fire(OnDisconnect);
    // Between connections the client always holds a fresh, unconnected socket.
    if (!destroying_) createSocket();
}

bool TSockClient::DataAvailable() {
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

// ---- resolving and connecting -------------------------------------------------------------

void TSockClient::onLookupDone(std::uint64_t generation, int error, std::uint32_t address) {
    // A lookup given up on (time-out, cancel) may still answer; only the current one counts.
    if (generation != lookupGeneration_) return;
    notifyOk = error == 0;
    if (!notifyOk) lastError = sockerr::fromLookupError(error);
    lookupAddress_ = address;
    lookupDone = true;
    RaiseSignal();
}

void TSockClient::ResolveHost() {
    ReportStatus(LevelStep, "Resolve Host");
    std::string name = Proxy.empty() ? Host : Proxy;
    // The name travels as zero-terminated text, so it ends at a zero byte.
    name = name.substr(0, std::min(name.find('\0'), static_cast<std::size_t>(ChunkSize)));
    in_addr parsed{};
    if (!name.empty() && ::inet_aton(name.c_str(), &parsed) != 0 && parsed.s_addr != INADDR_NONE) {
        remoteAddress_ = parsed.s_addr;
        return;
    }
    remoteAddress_ = 0;
    lookupDone = false;
    const std::uint64_t generation = ++lookupGeneration_;
    std::weak_ptr<TSockClient*> alive = alive_;
    lookupHostAsync(name, [alive, generation](const HostLookupResult& result) {
        if (auto self = alive.lock()) (*self)->onLookupDone(generation, result.error, result.address);
    });
    // The wait switches the time-out off before anything else happens, OnHostResolved included.
    const bool done = waitUntil([this] { return lookupDone; }, Arming::Arm);
    if (!done) ++lookupGeneration_;
    if (timedOut_) throw ESockError("Host Lookup Timed Out", SockErrorKind::LookupTimedOut);
    if (canceled_) throw ESockError("Host Lookup Canceled", SockErrorKind::LookupCanceled);
    if (!notifyOk) throw ESockError("Host Lookup Failed", SockErrorKind::LookupFailed);
    remoteAddress_ = lookupAddress_;
    fire(OnHostResolved);
}

void TSockClient::resolveOrRepair() {
    for (int attempts = 0;; ++attempts) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            // A failed lookup is answered below as a missing address; a stopped one ends here.
            if (e.kind() == SockErrorKind::LookupTimedOut || e.kind() == SockErrorKind::LookupCanceled) throw;
        }
        if (remoteAddress_ != 0) return;
        if (attempts > 0 || !OnInvalidHost) throw ESockError("Null Remote Address");
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled) throw ESockError("Null Remote Address");
    }
}

void TSockClient::Connect() {
    ReportStatus(LevelStep, "Connecting");
    canceled_ = false;
    // The check comes before the buffer is cleared: bytes already received on a live
    // connection must survive a mistaken second Connect.
    if (connected_) throw ESockError("Already connected");
    buffer_->Clear();
    breakReason_.clear();

    resolveOrRepair();
    const std::int32_t port = Proxy.empty() ? Port : ProxyPort;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
    address.sin_addr.s_addr = remoteAddress_;

    // Every attempt starts on a socket that has never tried to connect.
    if (fd_ < 0 || socketUsed_) recycleSocket();
    socketUsed_ = true;
    lookupDone = false;
    notifyOk = true;
    connecting_ = true;
    try {
        watchSocket();
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            handleConnectResult(0);
        } else if (errno != EINPROGRESS && errno != EINTR) {
            if (isConnectOutcome(errno))
                handleConnectResult(errno);
            else
                CheckSocketError(errno, sockerr::WouldBlock);
        }
        waitUntil([this] { return connected_ || !notifyOk; }, Arming::Arm);
    } catch (...) {
        recycleSocket();
        throw;
    }
    const linger noLinger{0, 0};
    (void)::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    if (!timedOut_ && !canceled_ && notifyOk) return;

    fire(OnConnectionFailed);
    // A late answer to the abandoned attempt must not connect this client behind the caller's
    // back, so the attempt's socket goes now.
    if (connected_) {
        CloseSocket();
    } else {
        recycleSocket();
    }
    if (timedOut_) {
        try {
            Disconnect();
        } catch (...) {
        }
        throw ESockError("Connection Timed out");
    }
    if (canceled_) throw ESockError("Connection Canceled");
    throw ESockError("Connection Failed");
}

void TSockClient::Disconnect() {
    ReportStatus(LevelStep, "Disconnecting");
    if (connected_) CloseSocket();
}

void TSockClient::StartTls(const std::string& host, std::int32_t port) {
    ReportStatus(LevelStep, "TLS Handshake");
    const std::string with = "TLS handshake with " + host;
    if (!connected_) throw ESockError(with + " failed: the server closed the connection", SockErrorKind::Tls);
    transport_.startTls(host, port, CAFile);
    Transport::Result step;
    const bool done = waitUntil(
        [this, &step] {
            step = transport_.handshake();
            if (step.status == Transport::Status::WantWrite) watchSocket();
            return step.status == Transport::Status::Done || step.status == Transport::Status::Failed;
        },
        Arming::Arm);
    tlsResumed_ = transport_.resumed();
    if (done && step.status == Transport::Status::Done) return;
    if (timedOut_) throw ESockError(with + " timed out", SockErrorKind::Tls);
    if (canceled_) throw ESockError(with + " canceled", SockErrorKind::Tls);
    throw ESockError(with + " failed: " + step.message, SockErrorKind::Tls);
}

ArmedTimer::ArmedTimer(TSockClient& client) : client_(client) {
    client_.TimerOn();
}

ArmedTimer::~ArmedTimer() {
    client_.TimerOff();
}
