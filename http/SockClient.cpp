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
    socketUsed_ = false;
}

void TSockClient::closeDescriptor() {
    EventLoop& loop = EventLoop::instance();
    if (readWatch_) loop.unwatchDescriptor(readWatch_);
    if (writeWatch_) loop.unwatchDescriptor(writeWatch_);
    readWatch_ = writeWatch_ = 0;
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
    while (fd_ >= 0) {
        const ssize_t r = ::recv(fd_, receiveChunk_.get(), ChunkSize, 0);
        if (r > 0) {
            buffer_->Write(receiveChunk_.get(), r);
            received.bytes += r;
            if (r == ChunkSize) continue;
            break;
        }
        if (r == 0) {
            connected_ = false;
            received.closed = true;
            break;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            // A reset connection reads as closed; it stays readable, so it must be closed.
            lastError = sockerr::fromErrno(errno);
            connected_ = false;
            received.closed = true;
        }
        break;
    }
    RaiseSignal();
    return received;
}

void TSockClient::ReadIntoBuffer() {
    receiveChunks();
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
    TimerOn();
    TimerScope off([this] { TimerOff(); });
    lookupDone = false;
    const std::uint64_t generation = ++lookupGeneration_;
    std::weak_ptr<TSockClient*> alive = alive_;
    lookupHostAsync(name, [alive, generation](const HostLookupResult& result) {
        if (auto self = alive.lock()) (*self)->onLookupDone(generation, result.error, result.address);
    });
    while (!lookupDone && !timedOut_ && !canceled_)
        WaitForSignal();
    if (!lookupDone) ++lookupGeneration_;
    if (timedOut_) throw ESockError("Host Lookup Timed Out");
    if (canceled_) throw ESockError("Host Lookup Canceled");
    if (!notifyOk) throw ESockError("Host Lookup Failed");
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

    for (int attempts = 0;; ++attempts) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            const std::string message = e.what();
            if (message == "Host Lookup Timed Out" || message == "Host Lookup Canceled") throw;
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
        TimerOn();
        TimerScope off([this] { TimerOff(); });
        while (!connected_ && !timedOut_ && !canceled_ && notifyOk)
            WaitForSignal();
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

// ---- sending ------------------------------------------------------------------------------

void TSockClient::waitWritable() {
    const int fd = fd_;
    writable_ = false;
    watchSocket();
    while (!writable_ && !canceled_ && !timedOut_ && fd_ == fd && writeWatch_)
        WaitForSignal();
    if (writeWatch_) EventLoop::instance().setWatchEnabled(writeWatch_, false);
}

int TSockClient::sendErrno() const {
    // Linux reports a send on a socket that never connected as a broken pipe; it is the
    // "not connected" of the socket error table.
    if (errno == EPIPE && !socketUsed_) return ENOTCONN;
    return errno;
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
        std::size_t remaining = length;
        while (remaining > 0 && !canceled_ && !timedOut_) {
            const ssize_t r = ::send(fd_, p + (length - remaining), remaining, MSG_NOSIGNAL);
            if (r == 0) break;
            if (r > 0) {
                remaining -= static_cast<std::size_t>(r);
                continue;
            }
            if (errno == EINTR) continue;
            CheckSocketError(sendErrno(), sockerr::WouldBlock);
            waitWritable();
        }
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
    EventLoop& loop = EventLoop::instance();
    if (!canceled_) {
        bytesSent = 0;
        bytesTotal = stream.size();
        bool stop = false;
        while (!stop && stream.position() < stream.size() && !canceled_) {
            const std::int64_t chunk =
                stream.read(transferBuffer_.data(), std::min(ChunkSize, stream.size() - stream.position()));
            if (chunk <= 0) break;
            std::int64_t sent = 0;
            while (sent < chunk && !canceled_) {
                const ssize_t r = ::send(fd_, transferBuffer_.data() + sent,
                                         static_cast<std::size_t>(chunk - sent), MSG_NOSIGNAL);
                if (r == 0) {
                    stop = true;
                    break;
                }
                if (r > 0) {
                    bytesSent += r;
                    sent += r;
                    fire(OnPacketSent);
                } else if (errno != EINTR) {
                    CheckSocketError(sendErrno(), sockerr::WouldBlock);
                    waitWritable();
                }
                loop.pump(EventLoop::PumpMode::DontWait);
            }
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
    EventLoop& loop = EventLoop::instance();
    // Armed before the first piece as well, so that a peer that never reads cannot hold the
    // send forever.
    TimerOn();
    TimerScope off([this] { TimerOff(); });
    while (file.position() < file.size() && !canceled_) {
        const std::int64_t chunk = file.read(transferBuffer_.data(), ChunkSize);
        if (chunk <= 0) break;
        std::int64_t sent = 0;
        while (sent < chunk && !canceled_) {
            const ssize_t r = ::send(fd_, transferBuffer_.data() + sent,
                                     static_cast<std::size_t>(chunk - sent), MSG_NOSIGNAL);
            if (r == 0) break;
            if (r > 0) {
                bytesSent += r;
                sent += r;
                fire(OnPacketSent);
                TimerOn();
            } else if (errno != EINTR) {
                CheckSocketError(sendErrno(), sockerr::WouldBlock);
                waitWritable();
            }
            loop.pump(EventLoop::PumpMode::DontWait);
        }
        if (sent < chunk) break;
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
    TimerOn();
    TimerScope off([this] { TimerOff(); });
    std::int64_t n = 0;
    while (!timedOut_ && !canceled_) {
        if (DataAvailable()) {
            n = buffer_->FindDelimiter("\n");
            if (n > 0) break;
        }
        WaitForSignal();
    }
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
        while (buffer_->totalCount() == 0 && !canceled_ && connected_ && limit != -1)
            WaitForSignal();
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
        while (buffer_->totalCount() == 0 && !canceled_ && connected_ && limit != -1)
            WaitForSignal();
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
