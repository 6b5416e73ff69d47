#include "http/SockClient.h"

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

// Turns the time-out off on every way out of a waiting operation.
class TimerScope {
public:
    explicit TimerScope(std::function<void()> off) : off_(std::move(off)) {}
    ~TimerScope() { off_(); }
    TimerScope(const TimerScope&) = delete;
    TimerScope& operator=(const TimerScope&) = delete;

private:
    std::function<void()> off_;
};

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
    if (arming == Arming::Arm) TimerOn();
    TimerScope off([this, arming] {
        if (arming == Arming::Arm) TimerOff();
    });
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
        loop.setWatchEnabled(writeWatch_, true);
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
        if (writeWatch_) EventLoop::instance().setWatchEnabled(writeWatch_, false);
        RaiseSignal();
    } catch (...) {
        // Notification handlers swallow every error; the waiting operation sees the state.
    }
}

void TSockClient::handleConnectResult(int error) {
    if (!connecting_) return;
    connecting_ = false;
    EventLoop& loop = EventLoop::instance();
    if (writeWatch_) loop.setWatchEnabled(writeWatch_, false);
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

void TSockClient::Connect() {
    ReportStatus(LevelStep, "Connecting");
    canceled_ = false;
    // The check comes before the buffer is cleared: bytes already received on a live
    // connection must survive a mistaken second Connect.
    if (connected_) throw ESockError("Already connected");
    buffer_->Clear();
    breakReason_.clear();

    for (int attempts = 0;; ++attempts) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            // A failed lookup is answered below as a missing address; a stopped one ends here.
            if (e.kind() == SockErrorKind::LookupTimedOut || e.kind() == SockErrorKind::LookupCanceled) throw;
        }
        if (remoteAddress_ != 0) break;
        if (attempts > 0 || !OnInvalidHost) throw ESockError("Null Remote Address");
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled) throw ESockError("Null Remote Address");
    }

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

// ---- sending ------------------------------------------------------------------------------

void TSockClient::waitWritable() {
    const int fd = fd_;
    writable_ = false;
    watchSocket();
    waitUntil([this, fd] { return writable_ || fd_ != fd || !writeWatch_; }, Arming::AsArmed);
    if (writeWatch_) EventLoop::instance().setWatchEnabled(writeWatch_, false);
}

int TSockClient::sendErrno(int errnoValue) const {
    // Linux reports a send on a socket that never connected as a broken pipe; it is the
    // "not connected" of the socket error table.
    if (errnoValue == EPIPE && !socketUsed_) return ENOTCONN;
    return errnoValue;
}

TSockClient::Sent TSockClient::sendAll(const char* p, std::size_t n,
                                       const std::function<void(std::size_t)>& afterPiece,
                                       AfterAttempt after) {
    Sent sent;
    EventLoop& loop = EventLoop::instance();
    while (sent.bytes < n && !canceled_ && !timedOut_) {
        const Transport::Result r = transport_.send(p + sent.bytes, n - sent.bytes);
        switch (r.status) {
        case Transport::Status::Done:
            if (r.bytes == 0) {
                sent.stalled = true;
                return sent;
            }
            sent.bytes += r.bytes;
            if (afterPiece) afterPiece(r.bytes);
            break;
        case Transport::Status::WantWrite:
            waitWritable();
            break;
        case Transport::Status::WantRead:
            // TLS has to read before it can write again; the read notification wakes us.
            WaitForSignal();
            break;
        case Transport::Status::Closed:
        case Transport::Status::Failed:
            if (r.status == Transport::Status::Failed && r.errnoValue == 0)
                throw ESockError("TLS connection failed: " + r.message, SockErrorKind::Tls);
            CheckSocketError(r.status == Transport::Status::Closed ? EPIPE : sendErrno(r.errnoValue),
                             sockerr::WouldBlock);
            sent.stalled = true;
            return sent;
        }
        if (after == AfterAttempt::Pump) loop.pump(EventLoop::PumpMode::DontWait);
    }
    return sent;
}

void TSockClient::SendBuffer(const char* p, std::uint16_t n) {
    ReportStatus(LevelDetail, "Sending Buffer");
    TimerOn();
    TimerScope off([this] { TimerOff(); });
    if (!canceled_) {
        std::size_t length = n;
        if (length == 0) {
            length = ::strnlen(p, ChunkSize);
            if (length > 65535) throw ERangeError();
        }
        sendAll(p, length, nullptr, AfterAttempt::Continue);
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket send aborted");
    }
}

void TSockClient::Write(std::string_view text) {
    ReportStatus(LevelStep, "Write");
    if (text.size() <= 65535) {
        // The whole text goes out, zero bytes included: the HTTP layer announces its full
        // length, so stopping at a zero byte would leave the server waiting for the rest.
        std::memcpy(transferBuffer_.data(), text.data(), text.size());
        transferBuffer_[text.size()] = 0;
        SendBuffer(transferBuffer_.data(), static_cast<std::uint16_t>(text.size()));
    } else {
        TMemoryStream stream{std::string(text)};
        SendStream(stream);
    }
}

void TSockClient::Writeln(std::string_view text) {
    ReportStatus(LevelStep, "Writeln");
    std::string line(text);
    line += "\r\n";
    Write(line);
}

void TSockClient::SendStream(TStream& stream) {
    ReportStatus(LevelStep, "SendStream");
    stream.seek(0);
    if (!canceled_) {
        bytesSent = 0;
        bytesTotal = stream.size();
        const auto counted = [this](std::size_t piece) {
            bytesSent += static_cast<std::int64_t>(piece);
            fire(OnPacketSent);
        };
        while (stream.position() < stream.size() && !canceled_) {
            const std::int64_t chunk =
                stream.read(transferBuffer_.data(), std::min(ChunkSize, stream.size() - stream.position()));
            if (chunk <= 0) break;
            // A send that takes nothing ends the whole stream.
            if (sendAll(transferBuffer_.data(), static_cast<std::size_t>(chunk), counted, AfterAttempt::Pump)
                    .stalled)
                break;
        }
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket send aborted");
    }
}

void TSockClient::SendFile(const std::string& name) {
    ReportStatus(LevelStep, "SendFile");
    TFileStream file(name, TFileStream::Mode::Read);
    // Armed before the first piece as well, so that a peer that never reads cannot hold the
    // send forever; every piece sent arms it again.
    TimerOn();
    TimerScope off([this] { TimerOff(); });
    const auto counted = [this](std::size_t piece) {
        bytesSent += static_cast<std::int64_t>(piece);
        fire(OnPacketSent);
        TimerOn();
    };
    while (file.position() < file.size() && !canceled_) {
        const std::int64_t chunk = file.read(transferBuffer_.data(), ChunkSize);
        if (chunk <= 0) break;
        // A send that takes nothing ends this chunk; the file goes on with the next one.
        sendAll(transferBuffer_.data(), static_cast<std::size_t>(chunk), counted, AfterAttempt::Pump);
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket send aborted");
    }
}

// ---- receiving ----------------------------------------------------------------------------

std::string TSockClient::ReadLn() {
    ReportStatus(LevelStep, "ReadLn");
    std::string result;
    std::int64_t n = 0;
    waitUntil(
        [this, &n] {
            if (DataAvailable()) n = buffer_->FindDelimiter("\n");
            return n > 0;
        },
        Arming::Arm);
    if (n > 0) {
        result.resize(static_cast<std::size_t>(n));
        buffer_->Read(result.data(), n);
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket readln aborted");
    }
    return result;
}

void TSockClient::CaptureStream(TStream& stream, std::int64_t limit) {
    ReportStatus(LevelStep, "Capture Stream");
    bytesReceived = 0;
    TimerOn();
    TimerScope off([this] { TimerOff(); });
    while (!canceled_) {
        if (limit != -1)
            waitUntil([this] { return buffer_->totalCount() > 0 || !connected_; }, Arming::AsArmed);
        const std::int64_t n = std::min(buffer_->totalCount(), ChunkSize);
        if (n > 0) {
            buffer_->Read(transferBuffer_.data(), n);
            stream.write(transferBuffer_.data(), n);
            bytesReceived += n;
        }
        fire(OnPacketRecvd);
        // Only a received piece restarts the time-out, so a capture that timed out still
        // says so when it ends.
        if (n > 0) TimerOn();
        if ((!connected_ && buffer_->totalCount() == 0) || stream.size() == limit || limit == -1) break;
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket capture aborted");
    }
}

void TSockClient::CaptureFile(const std::string& name) {
    ReportStatus(LevelStep, "CaptureFile");
    TFileStream file(name, TFileStream::Mode::Create);
    CaptureStream(file, -2);
}

void TSockClient::CaptureString(std::string& text, std::int64_t limit) {
    ReportStatus(LevelStep, "Capture String");
    bytesReceived = 0;
    text.clear();
    TimerOn();
    TimerScope off([this] { TimerOff(); });
    while (!canceled_) {
        if (limit != -1)
            waitUntil([this] { return buffer_->totalCount() > 0 || !connected_; }, Arming::AsArmed);
        std::int64_t n = buffer_->totalCount();
        if (limit >= 0) n = std::min(n, limit - static_cast<std::int64_t>(text.size()));
        if (n > 0) {
            // Everything buffered is taken before the connection state is looked at, so no
            // byte received before the close is lost.
            const std::size_t old = text.size();
            text.resize(old + static_cast<std::size_t>(n));
            buffer_->Read(text.data() + old, n);
            bytesReceived += n;
            TimerOn();
        }
        fire(OnPacketRecvd);
        if (!connected_ || limit == -1) break;
        if (limit >= 0 && static_cast<std::int64_t>(text.size()) >= limit) break;
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket capture aborted");
    }
}

// ---- command and reply --------------------------------------------------------------------

std::string TSockClient::Transaction(const std::string& command) {
    ReportStatus(LevelStep, "Transaction");
    replyNumber = 0;
    Writeln(command);
    std::string reply = ReadLn();
    lastReply = reply;
    if (!reply.empty()) {
        ReportStatus(LevelReply, reply);
        std::int64_t value = 0;
        std::size_t digits = 0;
        while (digits < reply.size() && digits < 10 && reply[digits] >= '0' && reply[digits] <= '9') {
            value = value * 10 + (reply[digits] - '0');
            ++digits;
        }
        if (digits > 0) {
            if (value > 32767) throw ERangeError();
            replyNumber = static_cast<std::int16_t>(value);
        }
    }
    return reply;
}
