// https: the client against TLS servers that the tests start on loopback, with certificates
// made at test time by the openssl command.

#include "support/ClientProbe.h"
#include "support/ScriptedServer.h"
#include "support/TestCertificates.h"

#include "http/socket/HttpClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using S = ScriptedServer;
using namespace std::chrono_literals;

const std::string ok = "HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nsecret";

ScriptedServer::Tls tlsWith(const std::string& certificate) {
    const TestCertificates& certs = TestCertificates::get();
    return {certs.path(certificate), certs.key()};
}

std::string at(const ScriptedServer& server, const std::string& path, const char* scheme = "https",
               const char* host = "127.0.0.1") {
    return std::string(scheme) + "://" + host + ":" + std::to_string(server.port()) + path;
}

class HttpTls : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(TestCertificates::get().error(), "");
        client.TimeOut = 5000;
        client.CAFile = TestCertificates::get().ca();
    }
    THttpClient client;
};

TEST_F(HttpTls, RequestsInsideTlsAreThePlainRequestBytes) {
    ScriptedServer secure({{S::send(ok)}}, tlsWith("server.pem"));
    ScriptedServer plain({{S::send(ok)}});
    ClientProbe probe(client);
    for (auto* server : {&secure, &plain}) {
        const char* scheme = server == &secure ? "https" : "http";
        client.Get(at(*server, "/add?url=a%20b", scheme));
        EXPECT_EQ(client.Body, "secret");
        client.Post(at(*server, "/submit", scheme), std::string("title=x\0y", 9));
        EXPECT_EQ(client.replyNumber, 200);
    }
    ASSERT_EQ(secure.requests().size(), 2u);
    EXPECT_EQ(secure.requests(), plain.requests());
    EXPECT_EQ(secure.requests()[1].substr(secure.requests()[1].size() - 9), std::string("title=x\0y", 9));
    // The events of a pass are the same too.
    EXPECT_TRUE(probe.disconnectedEveryPass());
    EXPECT_EQ(probe.count("Connect"), 4);

    // A session is resumed with the host that issued it, never with another name for it.
    client.Get(at(secure, "/"));
    EXPECT_TRUE(client.tlsResumed());
    client.Get(at(secure, "/", "https", "localhost"));
    EXPECT_FALSE(client.tlsResumed());
}

TEST_F(HttpTls, BadCertificatesEndTheHandshakeBeforeAnyRequestByte) {
    struct Case {
        const char* certificate;
        const char* host;
        std::string reason;
    };
    const Case cases[] = {
        {"expired.pem", "127.0.0.1", "certificate has expired"},
        {"future.pem", "127.0.0.1", "certificate is not yet valid"},
        {"wronghost.pem", "127.0.0.1", "IP address mismatch"},
        {"wronghost.pem", "localhost", "hostname mismatch"},
        {"selfsigned.pem", "localhost", "self-signed certificate"},
        {"unknownca.pem", "127.0.0.1", "unable to get local issuer certificate"},
    };
    for (const Case& c : cases) {
        ScriptedServer server({{S::send(ok)}}, tlsWith(c.certificate));
        EXPECT_EQ(messageOf([&] { client.Get(at(server, "/", "https", c.host)); }),
                  std::string("TLS handshake with ") + c.host + " failed: " + c.reason)
            << c.certificate;
        EXPECT_TRUE(server.requests().empty()) << c.certificate;
        EXPECT_FALSE(client.connected());
    }
    // The test CA is trusted only through CAFile; the system's store alone does not know it.
    ScriptedServer valid({{S::send(ok)}}, tlsWith("server.pem"));
    client.CAFile.clear();
    EXPECT_EQ(messageOf([&] { client.Get(at(valid, "/")); }),
              "TLS handshake with 127.0.0.1 failed: unable to get local issuer certificate");
    client.CAFile = "/nonexistent/ca.pem";
    EXPECT_EQ(messageOf([&] {
                  client.Get(at(valid, "/"));
              }).rfind("The CA file /nonexistent/ca.pem cannot be used", 0),
              0u);
    EXPECT_TRUE(valid.requests().empty());
}

TEST_F(HttpTls, ServersThatMisbehaveInTheHandshakeEndItInBoundedTime) {
    client.TimeOut = 300;
    ScriptedServer silent({{S::skipRequest(), S::holdOpen(10s)}});
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(messageOf([&] { client.Get(at(silent, "/")); }), "TLS handshake with 127.0.0.1 timed out");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);

    // Closing with the client's hello unread resets the connection.
    ScriptedServer closing({{S::skipRequest(), S::sleep(100ms), S::close()}});
    EXPECT_EQ(messageOf([&] { client.Get(at(closing, "/")); }),
              "TLS handshake with 127.0.0.1 failed: Connection reset by peer");

    // A plain HTTP server answers the hello with text, and the request never goes out.
    ScriptedServer garbage({{S::skipRequest(), S::send(ok), S::holdOpen(2s)}});
    const std::string message = messageOf([&] { client.Get(at(garbage, "/")); });
    EXPECT_EQ(message.rfind("TLS handshake with 127.0.0.1 failed: ", 0), 0u) << message;
    EXPECT_NE(message, "TLS handshake with 127.0.0.1 failed: ");
}

TEST_F(HttpTls, RedirectsGoBetweenHttpAndHttpsBothWays) {
    ScriptedServer plain;
    ScriptedServer secure({}, tlsWith("server.pem"));
    plain.setScripts({{S::send("HTTP/1.0 302 Found\r\nLocation: " + at(secure, "/in") + "\r\n\r\n")},
                      {S::send("HTTP/1.0 200 OK\r\n\r\nplain again")}});
    secure.setScripts({{S::send("HTTP/1.0 302 Found\r\nLocation: " + at(plain, "/out", "http") + "\r\n\r\n")},
                       {S::send("HTTP/1.0 302 Found\r\nLocation: relative\r\n\r\n")},
                       {S::send("HTTP/1.0 200 OK\r\n\r\nsecure")}});
    client.Get(at(plain, "/start", "http"));
    EXPECT_EQ(client.Body, "plain again");
    EXPECT_EQ(plain.connections(), 2);
    ASSERT_EQ(secure.requests().size(), 1u);
    EXPECT_EQ(secure.requests()[0].rfind("GET /in HTTP/1.0\r\n", 0), 0u);

    // A Location without "/" stays on the https server that sent it.
    client.Get(at(secure, "/second"));
    EXPECT_EQ(client.Body, "secure");
    EXPECT_EQ(client.requestURL(), at(secure, "/relative"));

    ScriptedServer away({{S::send("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:1/\r\n\r\n")}},
                        tlsWith("server.pem"));
    EXPECT_EQ(messageOf([&] { client.Get(at(away, "/")); }), "Connection Failed");
    EXPECT_FALSE(client.secure());
}

// A proxy that opens the tunnels it is asked for and relays bytes both ways.
class TunnelProxy {
public:
    TunnelProxy() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listenFd_, 4);
        socklen_t length = sizeof addr;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &length);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TunnelProxy() {
        ::shutdown(listenFd_, SHUT_RDWR);
        thread_.join();
        ::close(listenFd_);
    }
    int port() const { return port_; }
    std::string request; // what the client asked the proxy, read after the client is done

private:
    void serve() {
        const int client = ::accept(listenFd_, nullptr, nullptr);
        if (client < 0) return;
        char buffer[65536];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        const int port = std::stoi(request.substr(request.find(':') + 1));
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        ::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        const std::string established = "HTTP/1.0 200 Connection established\r\nVia: test\r\n\r\n";
        ::send(client, established.data(), established.size(), MSG_NOSIGNAL);
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        for (bool open = true; open && ::poll(fds, 2, 5000) > 0;) {
            for (int i = 0; i < 2 && open; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
                open = n > 0 && ::send(fds[1 - i].fd, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) == n;
            }
        }
        ::close(server);
        ::close(client);
    }
    int listenFd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST_F(HttpTls, HttpsThroughAProxyGoesThroughATunnel) {
    ScriptedServer secure({{S::send(ok)}}, tlsWith("server.pem"));
    ScriptedServer direct({{S::send(ok)}}, tlsWith("server.pem"));
    std::string target = at(secure, "/page?q=1");
    {
        TunnelProxy proxy;
        client.Proxy = "127.0.0.1";
        client.ProxyPort = proxy.port();
        client.Get(target);
        EXPECT_EQ(client.Body, "secret");
        client.Proxy.clear();
        client.Get(at(direct, "/page?q=1"));
        const std::string authority = "127.0.0.1:" + std::to_string(secure.port());
        EXPECT_EQ(proxy.request, "CONNECT " + authority + " HTTP/1.0\r\nHost: " + authority + "\r\n\r\n");
    }
    // End to end, the host gets the request it would get without the proxy.
    EXPECT_EQ(secure.requests(), direct.requests());

    ScriptedServer refusing({{S::send("HTTP/1.0 403 Forbidden\r\n\r\n")}});
    client.Proxy = "127.0.0.1";
    client.ProxyPort = refusing.port();
    EXPECT_EQ(messageOf([&] { client.Get(target); }),
              "The proxy refused the tunnel to 127.0.0.1:" + std::to_string(secure.port()) +
                  ": HTTP/1.0 403 Forbidden");

    std::string huge = "HTTP/1.0 200 OK\r\n";
    while (huge.size() < (10u << 20))
        huge += "X-Padding: " + std::string(100, 'p') + "\r\n";
    ScriptedServer flooding({{S::send(huge + "\r\n")}});
    client.ProxyPort = flooding.port();
    EXPECT_EQ(messageOf([&] { client.Get(target); }), "The proxy's answer to the tunnel request is too long");
    EXPECT_EQ(secure.requests().size(), 1u);
}

} // namespace
