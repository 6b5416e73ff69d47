#include "http/socket/SockClient.h"

#include "tests/http/support/LoopbackServer.h"
#include "platform/EventLoop.h"
#include "tests/common/Files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <random>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Records the events of a client in the order they fire.
struct Recorder {
    std::vector<std::string> events;
    std::vector<std::string> statuses;

    void attach(TSockClient& c) {
        c.OnConnect = [this](TSockClient&) { events.push_back("connect"); };
        c.OnDisconnect = [this](TSockClient&) { events.push_back("disconnect"); };
        c.OnConnectionFailed = [this](TSockClient&) { events.push_back("failed"); };
        c.OnHostResolved = [this](TSockClient&) { events.push_back("resolved"); };
        c.OnStatus = [this](TSockClient&, const std::string& s) { statuses.push_back(s); };
    }
    int count(const std::string& e) const {
        return static_cast<int>(std::count(events.begin(), events.end(), e));
    }
    bool saw(const std::string& status) const {
        return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
    }
};

void connectTo(TSockClient& c, const LoopbackServer& server) {
    c.Host = "127.0.0.1";
    c.Port = server.port();
    c.Connect();
}

std::string sockMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const ESockError& e) {
        return e.what();
    }
    return "(no ESockError)";
}

} // namespace

TEST(SockClient, DottedAddressConnectsWithoutLookupAndNameThroughIt) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); });
    TSockClient client;
    Recorder r;
    r.attach(client);
    client.ReportLevel = 8;
    connectTo(client, server);
    EXPECT_TRUE(client.connected());
    EXPECT_EQ(r.count("resolved"), 0);
    EXPECT_EQ(r.count("connect"), 1);
    EXPECT_TRUE(r.saw("Resolve Host"));
    client.Disconnect();
    EXPECT_FALSE(client.connected());
    EXPECT_EQ(r.count("disconnect"), 1);

    client.Host = "localhost";
    // The lookup's time-out is off before OnHostResolved fires.
    client.OnHostResolved = [&r](TSockClient&) { r.statuses.push_back("(resolved)"); };
    r.statuses.clear();
    client.Connect();
    EXPECT_TRUE(client.connected());
    auto resolved = std::find(r.statuses.begin(), r.statuses.end(), "(resolved)");
    ASSERT_NE(resolved, r.statuses.end());
    EXPECT_EQ(*std::prev(resolved), "Timer Off");
    client.Disconnect();
    EXPECT_TRUE(server.waitAccepted(2));
}

TEST(SockClient, ProxyIsContactedInsteadOfHost) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); });
    TSockClient client;
    Recorder r;
    r.attach(client);
    client.Host = "192.0.2.1"; // a documentation address that must never be contacted
    client.Port = 1;
    client.Proxy = "127.0.0.1";
    client.ProxyPort = server.port();
    client.Connect();
    EXPECT_TRUE(client.connected());
    EXPECT_EQ(r.count("resolved"), 0);
    client.Disconnect();
    EXPECT_TRUE(server.waitAccepted(1));
}

TEST(SockClient, NoAddressIsNullRemoteAddressUnlessTheOwnerRepairsIt) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); });
    TSockClient client;
    client.Host = "0.0.0.0";
    client.Port = server.port();
    EXPECT_EQ(sockMessage([&] { client.Connect(); }), "Null Remote Address");

    int asked = 0;
    client.OnInvalidHost = [&](bool& handled) {
        ++asked;
        client.Host = "127.0.0.1";
        handled = true;
    };
    client.Connect();
    EXPECT_TRUE(client.connected());
    EXPECT_EQ(asked, 1);
    client.Disconnect();

    // A repair that does not help is asked for only once.
    asked = 0;
    client.OnInvalidHost = [&](bool& handled) {
        ++asked;
        handled = true;
    };
    client.Host = "0.0.0.0";
    EXPECT_EQ(sockMessage([&] { client.Connect(); }), "Null Remote Address");
    EXPECT_EQ(asked, 1);
}

TEST(SockClient, RefusedConnectionFailsAfterOnConnectionFailedAndLeavesTheClientUsable) {
    TSockClient client;
    Recorder r;
    r.attach(client);
    client.Host = "127.0.0.1";
    client.Port = LoopbackServer::closedPort();
    client.TimeOut = 5000;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sockMessage([&] { client.Connect(); }), "Connection Failed");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "a refusal must not wait for the time-out";
    EXPECT_EQ(r.events, std::vector<std::string>{"failed"});
    EXPECT_EQ(client.lastError, 10061);
    EXPECT_EQ(client.SocketErrorText(client.lastError), "10061:Connection refused");
    EXPECT_FALSE(client.connected());

    LoopbackServer server([](int fd) { LoopbackServer::sendAll(fd, "hello\n"); });
    connectTo(client, server);
    EXPECT_EQ(client.ReadLn(), "hello\n");
}

namespace {

// A listener whose backlog is full: with a backlog of 0 it takes one unaccepted connection, and
// the kernel drops the handshakes after it, so a further connection attempt gets no answer.
class FullBacklog {
public:
    FullBacklog() : server_(nullptr, 0) {
        filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(server_.port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        filled_ = ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~FullBacklog() { ::close(filler_); }
    bool filled() const { return filled_; }
    std::uint16_t port() const { return server_.port(); }

private:
    LoopbackServer server_;
    int filler_ = -1;
    bool filled_ = false;
};

} // namespace

TEST(SockClient, ConnectToAFullBacklogTimesOutOrIsCanceled) {
    FullBacklog full;
    ASSERT_TRUE(full.filled());
    TSockClient client;
    Recorder r;
    r.attach(client);
    client.ReportLevel = 8;
    client.Host = "127.0.0.1";
    client.Port = full.port();
    client.TimeOut = 300;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sockMessage([&] { client.Connect(); }), "Connection Timed out");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 3s);
    EXPECT_TRUE(client.timedOut());
    EXPECT_TRUE(client.canceled());
    EXPECT_FALSE(client.connected());
    EXPECT_EQ(r.count("failed"), 1);
    EXPECT_TRUE(r.saw("Timer Triggered"));

    // Cancelling from a handler ends the wait the same way.
    FullBacklog other;
    ASSERT_TRUE(other.filled());
    client.Port = other.port();
    client.TimeOut = 0;
    EventLoop::instance().startTimer(50ms, EventLoop::TimerMode::SingleShot, [&] { client.Cancel(); });
    EXPECT_EQ(sockMessage([&] { client.Connect(); }), "Connection Canceled");
    EXPECT_FALSE(client.timedOut());
}

TEST(SockClient, AlreadyConnectedKeepsTheBytesReceived) {
    LoopbackServer server([](int fd) {
        LoopbackServer::sendAll(fd, "first line\n");
        LoopbackServer::readAll(fd);
    });
    TSockClient client;
    connectTo(client, server);
    // Let the line arrive in the receive buffer before the mistaken second Connect.
    while (!client.DataAvailable())
        EventLoop::instance().pump(EventLoop::PumpMode::WaitForEvents);
    EXPECT_EQ(sockMessage([&] { client.Connect(); }), "Already connected");
    EXPECT_EQ(client.ReadLn(), "first line\n");
}

TEST(SockClient, ReadLnReturnsLinesWithTheirEndingsWhateverTheChunking) {
    std::string nulLine("a\0b\n", 4);
    LoopbackServer server([&](int fd) {
        LoopbackServer::sendAll(fd, "abc\r\nabc\nsp");
        LoopbackServer::pause(50);
        LoopbackServer::sendAll(fd, "lit\n");
        LoopbackServer::sendAll(fd, nulLine);
        LoopbackServer::readAll(fd);
    });
    TSockClient client;
    client.TimeOut = 5000;
    connectTo(client, server);
    EXPECT_EQ(client.ReadLn(), "abc\r\n");
    EXPECT_EQ(client.ReadLn(), "abc\n");
    EXPECT_EQ(client.ReadLn(), "split\n");
    // A zero byte before the line end must not hide the line.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.ReadLn(), nulLine);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(SockClient, ReadLnAndCaptureTimeOutAsAbortsWithTimedOutSet) {
    std::promise<void> done;
    auto finished = done.get_future();
    LoopbackServer server([&](int fd) {
        LoopbackServer::sendAll(fd, "no line end");
        finished.wait_for(10s);
    });
    TSockClient client;
    Recorder r;
    r.attach(client);
    client.ReportLevel = 8;
    client.TimeOut = 200;
    connectTo(client, server);
    try {
        client.ReadLn();
        FAIL() << "ReadLn returned without a line";
    } catch (const EAbortError& e) {
        EXPECT_STREQ(e.what(), "Socket readln aborted");
    }
    EXPECT_TRUE(client.timedOut());
    EXPECT_FALSE(client.canceled());
    EXPECT_TRUE(r.saw("Timer Triggered"));

    std::string text;
    try {
        client.CaptureString(text, -2);
        FAIL() << "CaptureString returned while the peer is silent";
    } catch (const EAbortError& e) {
        EXPECT_STREQ(e.what(), "Socket capture aborted");
    }
    EXPECT_TRUE(client.timedOut());
    EXPECT_FALSE(client.canceled());
    EXPECT_EQ(text, "no line end") << "the bytes received before the silence are kept";
    done.set_value();
}

TEST(SockClient, CaptureStringReturnsEveryByteAndThePeerCloseFiresOnDisconnectTwice) {
    std::string payload(300000, '\0');
    std::mt19937 random(7);
    for (char& c : payload)
        c = static_cast<char>(random());
    LoopbackServer server([&](int fd) {
        std::size_t at = 0;
        std::mt19937 chunks(8);
        while (at < payload.size()) {
            const std::size_t n = std::min<std::size_t>(1 + chunks() % 70000, payload.size() - at);
            LoopbackServer::sendAll(fd, payload.substr(at, n));
            at += n;
            if (chunks() % 4 == 0) LoopbackServer::pause(2);
        }
    });
    TSockClient client;
    Recorder r;
    r.attach(client);
    int packets = 0;
    std::int64_t lastCount = -1;
    client.OnPacketRecvd = [&](TSockClient& c) {
        ++packets;
        EXPECT_GE(c.bytesReceived, lastCount);
        lastCount = c.bytesReceived;
    };
    client.TimeOut = 5000;
    connectTo(client, server);
    std::string text;
    client.CaptureString(text, -2);
    EXPECT_EQ(text.size(), payload.size());
    EXPECT_TRUE(text == payload);
    EXPECT_EQ(client.bytesReceived, static_cast<std::int64_t>(payload.size()));
    EXPECT_GT(packets, 0);
    EXPECT_FALSE(client.connected());
    EXPECT_EQ(r.count("disconnect"), 2);

    // The client is ready for the next connection after the peer's close.
    lastCount = -1;
    connectTo(client, server);
    client.CaptureString(text, -2);
    EXPECT_TRUE(text == payload);
}

TEST(SockClient, AFastSenderIsReadInBoundedPiecesSoTheCaptureSeesEach) {
    // Without a bound, one notification would keep reading for as long as the sender keeps
    // up, and the capture would see a large body only once it had all piled up.
    std::string payload(32 << 20, '\0');
    std::mt19937 random(9);
    for (std::size_t i = 0; i < payload.size(); i += 4096)
        payload[i] = static_cast<char>(random());
    LoopbackServer server([&](int fd) { LoopbackServer::sendAll(fd, payload); });
    struct Client : TSockClient {
        std::int64_t buffered() { return receiveBuffer().totalCount(); }
    } client;
    std::int64_t largestPiece = 0;
    int notifications = 0;
    client.OnDataArrived = [&](TSockClient&) {
        ++notifications;
        largestPiece = std::max(largestPiece, client.buffered());
    };
    int packets = 0;
    client.OnPacketRecvd = [&](TSockClient&) { ++packets; };
    client.TimeOut = 5000;
    connectTo(client, server);
    std::string text;
    client.CaptureString(text, -2);
    EXPECT_TRUE(text == payload);
    EXPECT_LE(largestPiece, TSockClient::ReadBound);
    EXPECT_GE(notifications, 32);
    EXPECT_GE(packets, 32);
    EXPECT_FALSE(client.connected());
}

TEST(SockClient, CaptureFileWritesTheBytesToAFile) {
    LoopbackServer server([](int fd) { LoopbackServer::sendAll(fd, std::string("file\0body\r\n", 11)); });
    char name[] = "/tmp/capturetestXXXXXX";
    const int fd = ::mkstemp(name);
    ::write(fd, "old contents that must go", 25);
    ::close(fd);
    TSockClient client;
    client.TimeOut = 5000;
    connectTo(client, server);
    client.CaptureFile(name);
    EXPECT_EQ(readFile(name), std::string("file\0body\r\n", 11));
    ::unlink(name);
}

TEST(SockClient, EventLoopKeepsRunningWhileCaptureWaits) {
    LoopbackServer server([](int fd) {
        for (int i = 0; i < 5; ++i) {
            LoopbackServer::pause(100);
            LoopbackServer::sendAll(fd, "x");
        }
    });
    TSockClient client;
    client.TimeOut = 5000;
    connectTo(client, server);
    int ticks = 0;
    EventLoop& loop = EventLoop::instance();
    const auto timer = loop.startTimer(20ms, EventLoop::TimerMode::Repeating, [&] { ++ticks; });
    std::string text;
    client.CaptureString(text, -2);
    loop.killTimer(timer);
    EXPECT_EQ(text, "xxxxx");
    // About 25 ticks in half a second; a wait that blocks the loop gives none.
    EXPECT_GE(ticks, 10);
}

TEST(SockClient, CancelFromAHandlerEndsACaptureWithoutTimedOut) {
    std::promise<void> done;
    auto finished = done.get_future();
    LoopbackServer server([&](int) { finished.wait_for(10s); });
    TSockClient client;
    connectTo(client, server);
    EventLoop::instance().startTimer(50ms, EventLoop::TimerMode::SingleShot, [&] { client.Abort(); });
    std::string text;
    try {
        client.CaptureString(text, -2);
        FAIL();
    } catch (const EAbortError& e) {
        EXPECT_STREQ(e.what(), "Socket capture aborted");
    }
    EXPECT_FALSE(client.timedOut());
    EXPECT_FALSE(client.canceled());
    done.set_value();
}

TEST(SockClient, WriteSendsTheWholeTextAndLongTextAsAStream) {
    std::promise<std::string> received;
    LoopbackServer server([&](int fd) { received.set_value(LoopbackServer::readAll(fd)); });
    TSockClient client;
    Recorder r;
    r.attach(client);
    client.ReportLevel = 8;
    client.TimeOut = 5000;
    connectTo(client, server);

    std::string small(65535, 's');
    small[100] = '\0'; // sent whole: the HTTP layer announces the full length
    client.Write(small);
    EXPECT_TRUE(r.saw("Sending Buffer"));
    EXPECT_FALSE(r.saw("SendStream"));
    const std::int64_t totalBefore = client.bytesTotal;

    std::string large(65536, 'L');
    large[0] = '\0';
    client.Write(large);
    EXPECT_TRUE(r.saw("SendStream"));
    EXPECT_EQ(client.bytesTotal, 65536);
    EXPECT_NE(totalBefore, 65536);
    EXPECT_EQ(client.bytesSent, 65536);

    client.Write(std::string("ab\0cd", 5));
    client.Writeln("end");
    client.Write("");
    client.Disconnect();
    const std::string got = received.get_future().get();
    EXPECT_EQ(got.size(), 65535u + 65536u + 5u + 5u);
    EXPECT_TRUE(got == small + large + std::string("ab\0cd", 5) + "end\r\n");
}

TEST(SockClient, SendBufferStopsAtTheFirstZeroByteOnlyWhenAskedTo) {
    std::promise<std::string> received;
    LoopbackServer server([&](int fd) { received.set_value(LoopbackServer::readAll(fd)); });
    TSockClient client;
    connectTo(client, server);
    const char text[] = "up to\0here";
    client.SendBuffer(text, 0);
    client.SendBuffer(text, 3);
    client.Disconnect();
    EXPECT_EQ(received.get_future().get(), "up toup ");
}

TEST(SockClient, TransactionSendsALineAndParsesTheReplyNumber) {
    LoopbackServer server([](int fd) {
        while (true) {
            const std::string line = LoopbackServer::readLine(fd);
            if (line.empty()) return;
            if (line == "HELO\r\n")
                LoopbackServer::sendAll(fd, "250 Hello there\r\n");
            else if (line == "BIG\r\n")
                LoopbackServer::sendAll(fd, "99999 too large\r\n");
            else
                LoopbackServer::sendAll(fd, "no number\n");
        }
    });
    TSockClient client;
    Recorder r;
    r.attach(client);
    client.ReportLevel = 1;
    client.TimeOut = 5000;
    connectTo(client, server);
    EXPECT_EQ(client.Transaction("HELO"), "250 Hello there\r\n");
    EXPECT_EQ(client.replyNumber, 250);
    EXPECT_EQ(client.lastReply, "250 Hello there\r\n");
    EXPECT_EQ(r.statuses, std::vector<std::string>{"250 Hello there\r\n"}) << "only the reply is at level 1";
    EXPECT_EQ(client.Transaction("what"), "no number\n");
    EXPECT_EQ(client.replyNumber, 0);
    EXPECT_THROW(client.Transaction("BIG"), ERangeError);
}

TEST(SockClient, StatusLevelsFilterWhatReachesOnStatus) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); });
    TSockClient client;
    Recorder r;
    r.attach(client);
    client.OnStatus = [&](TSockClient&, const std::string& s) {
        r.statuses.push_back(s);
        throw std::runtime_error("a broken status display");
    };
    connectTo(client, server);
    client.Write("x");
    EXPECT_TRUE(r.statuses.empty()) << "level 0 reports nothing";
    client.ReportLevel = 4;
    client.Write("y");
    client.Disconnect();
    EXPECT_EQ(r.statuses, (std::vector<std::string>{"Sending Buffer", "Request Close Socket"}));
    EXPECT_EQ(client.statusText, "Request Close Socket");
}

TEST(SockClient, NegativeTimeOutIsARangeError) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); });
    TSockClient client;
    connectTo(client, server);
    client.TimeOut = -1;
    EXPECT_THROW(client.ReadLn(), ERangeError);
}

TEST(SockClient, SocketErrorsReadAsWindowsSocketNumbers) {
    EXPECT_EQ(sockerr::fromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(sockerr::fromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(sockerr::fromErrno(EAGAIN), 10035);
    EXPECT_EQ(sockerr::fromErrno(EINPROGRESS), 10036);
    EXPECT_EQ(sockerr::fromErrno(ECONNRESET), 10054);
    EXPECT_EQ(sockerr::fromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(sockerr::fromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(sockerr::fromLookupError(EAI_NONAME), 11001);
    EXPECT_EQ(sockerr::text(10061), "10061:Connection refused");
    EXPECT_EQ(sockerr::text(11004), "11004:Valid name, no data record of requested type");
    EXPECT_EQ(sockerr::text(0), "");
    EXPECT_EQ(sockerr::text(12345), "Unknown Error No. 12345");
    EXPECT_EQ(sockerr::text(sockerr::fromErrno(EIO)).rfind("Unknown Error No. ", 0), 0u);

    // A failing send goes through the table; would-block never raises.
    TSockClient client;
    std::vector<std::uint16_t> reported;
    client.OnSocketError = [&](TSockClient&, std::uint16_t n, const std::string&) { reported.push_back(n); };
    EXPECT_EQ(sockMessage([&] { client.Write("not connected"); }), "10057:Socket is not connected");
    EXPECT_EQ(reported, std::vector<std::uint16_t>{10057});
}
