#include "http/socket/SockClient.h"

#include "platform/HostLookup.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>

namespace {

// Live socket clients of the process; the first one fills in the socket description.
int liveClients = 0;

} // namespace

TSockClient::TSockClient() {
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
    TSockConnection::Abort();
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

// ---- status and events -----------------------------------------------------------------

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

void TSockClient::socketEvent(SocketEvent event) {
    switch (event) {
    case SocketEvent::Connected:
        fire(OnConnect);
        break;
    case SocketEvent::DataArrived:
        fire(OnDataArrived);
        break;
    case SocketEvent::Disconnected:
        fire(OnDisconnect);
        break;
    }
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

std::string TSockClient::brokenText() {
    if (!breakReason_.empty()) return "TLS connection failed: " + breakReason_;
    return SocketErrorText(lastError);
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
    std::weak_ptr<TSockConnection*> alive = alive_;
    lookupHostAsync(name, [this, alive, generation](const HostLookupResult& result) {
        if (alive.lock()) onLookupDone(generation, result.error, result.address);
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
    receiveBuffer().Clear();
    breakReason_.clear();

    resolveOrRepair();
    const std::int32_t port = Proxy.empty() ? Port : ProxyPort;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
    address.sin_addr.s_addr = remoteAddress_;

    prepareConnect();
    lookupDone = false;
    try {
        if (const int error = startConnect(address)) CheckSocketError(error, sockerr::WouldBlock);
        waitUntil([this] { return connected_ || !notifyOk; }, Arming::Arm);
    } catch (...) {
        recycleSocket();
        throw;
    }
    setNoLinger();
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
