#include "support/LiveServers.h"
#include "support/NginxServer.h"
#include "support/TestCertificates.h"

#include "http/live/LiveClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>
#include <sstream>

namespace {

const std::string userAgent = "Larkspan/test (+https://larkspan.example/)";

LiveClient::Settings settingsWith(std::string caFile = TestCertificates::get().ca()) {
    LiveClient::Settings s;
    s.caFile = std::move(caFile);
    s.userAgent = userAgent;
    s.deadline = std::chrono::milliseconds(10'000);
    return s;
}

LiveRequest get(std::string url, Redirects redirects = Redirects::Refuse) {
    LiveRequest r;
    r.url = std::move(url);
    r.redirects = redirects;
    return r;
}

// The servers of every test in this file, started once.
class LiveClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const auto& certs = TestCertificates::get();
        servers = new LiveServers(certs.path("server.pem"), certs.key());
        nginx = new NginxServer;
        nginx->enableTls(certs.path("server.pem"), certs.key(), NginxServer::Http2::On);
        nginxStarted = nginx->start();
    }
    static void TearDownTestSuite() {
        delete servers;
        delete nginx;
    }
    void SetUp() override {
        ASSERT_TRUE(TestCertificates::get().error().empty()) << TestCertificates::get().error();
        ASSERT_NE(servers->port("web"), 0) << "the fault servers did not start";
        ASSERT_TRUE(nginxStarted) << nginx->error();
    }
    static inline LiveServers* servers = nullptr;
    static inline NginxServer* nginx = nullptr;
    static inline bool nginxStarted = false;
};

// A loopback port with nothing listening on it.
int closedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

TEST_F(LiveClientTest, KeepsHttp11ConnectionsAliveAndMultiplexesHttp2OverTls) {
    LiveClient client(settingsWith());
    // Plain HTTP/1.1: the second request rides on the first one's connection.
    const auto first = client.perform(get(nginx->url("/connection")));
    const auto second = client.perform(get(nginx->url("/connection")));
    ASSERT_TRUE(first.answered()) << first.error;
    std::istringstream a(first.body), b(second.body);
    std::string connA, connB, protocol;
    int requestsA = 0, requestsB = 0;
    a >> connA >> requestsA >> protocol;
    b >> connB >> requestsB;
    EXPECT_EQ(protocol, "HTTP/1.1");
    EXPECT_EQ(connA, connB);
    EXPECT_EQ(requestsB, requestsA + 1);

    // TLS with the test CA trusted besides the system's store: eight requests at once share one
    // HTTP/2 connection.
    std::vector<std::string> bodies;
    for (int i = 0; i < 8; ++i)
        client.start(get(nginx->tlsUrl("/connection")),
                     [&](LiveAnswer answer) { bodies.push_back(answer.body); });
    client.waitAll();
    ASSERT_EQ(bodies.size(), 8u);
    std::set<std::string> connections;
    for (const auto& body : bodies) {
        std::istringstream in(body);
        std::string connection, requests;
        in >> connection >> requests >> protocol;
        EXPECT_EQ(protocol, "HTTP/2.0") << body;
        connections.insert(connection);
    }
    EXPECT_EQ(connections.size(), 1u);
}

TEST_F(LiveClientTest, ANewConnectionResumesTheHostsTlsSession) {
    LiveClient client(settingsWith());
    const std::string url = "https://127.0.0.1:" + std::to_string(servers->port("tls")) + "/tls-session";
    // The server closes each connection after its answer, so every request opens one.
    std::vector<std::string> bodies;
    for (int i = 0; i < 3; ++i)
        bodies.push_back(client.perform(get(url)).body);
    EXPECT_EQ(bodies, (std::vector<std::string>{"new", "resumed", "resumed"}));
}

TEST_F(LiveClientTest, SendsItsUserAgentAndHostWithPortAndNoCookie) {
    LiveClient client(settingsWith());
    auto request = get(servers->web("/echo"));
    request.headers = {{"Cookie", "session=1"}, {"User-Agent", "other"}, {"Host", "evil"}, {"X-Mine", "yes"}};
    const auto answer = client.perform(request);
    ASSERT_TRUE(answer.answered()) << answer.error;
    EXPECT_NE(answer.body.find("GET /echo HTTP/1.1\r\n"), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("Host: 127.0.0.1:" + std::to_string(servers->port("web")) + "\n"),
              std::string::npos)
        << answer.body;
    EXPECT_NE(answer.body.find("User-Agent: " + userAgent + "\n"), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("X-Mine: yes\n"), std::string::npos) << answer.body;
    EXPECT_EQ(answer.body.find("Cookie"), std::string::npos) << answer.body;
    EXPECT_EQ(answer.body.find("other"), std::string::npos) << answer.body;
    EXPECT_EQ(answer.body.find("evil"), std::string::npos) << answer.body;

    // Credentials stay with their origin when a redirect is followed.
    for (const auto& [target, kept] :
         {std::pair{servers->web("/echo"), true}, {servers->web("/echo", "localhost"), false}}) {
        auto redirected = get(servers->web("/redirect/302?to=" + target), Redirects::AnyHost);
        redirected.headers = {{"Authorization", "Bearer secret"}};
        const auto echo = client.perform(redirected);
        ASSERT_EQ(echo.status, 200) << echo.error;
        EXPECT_EQ(echo.body.find("Authorization: Bearer secret") != std::string::npos, kept) << echo.body;
    }
}

struct RedirectCase {
    const char* name;
    Method method;
    Redirects mode;
    std::string path; // of the web server; "tls:" for its TLS port
    int status;       // of the final answer, 0 for a failure
    std::string bodyOrError;
    std::size_t hops;
};

TEST_F(LiveClientTest, FollowsRedirectsByTheRules) {
    const std::string web = servers->web("");
    const std::string other = servers->web("", "localhost");
    const RedirectCase cases[] = {
        {"refuse answers the 3xx", Method::Get, Redirects::Refuse, "/redirect/302?to=/echo", 302, "moved", 1},
        {"same origin", Method::Get, Redirects::SameOrigin, "/redirect/301?to=/chain/0", 200, "end", 2},
        {"same origin, another host", Method::Get, Redirects::SameOrigin,
         "/redirect/302?to=" + other + "/chain/0", 0,
         "refused to follow a redirect to another origin (Location \"" + other + "/chain/0\")", 1},
        {"any host", Method::Get, Redirects::AnyHost, "/redirect/308?to=" + other + "/chain/0", 200, "end",
         2},
        {"five hops", Method::Get, Redirects::AnyHost, "/chain/5", 200, "end", 6},
        {"a sixth hop", Method::Get, Redirects::AnyHost, "/chain/6", 0,
         "gave up after 5 redirects (Location \"/chain/0\")", 6},
        {"a loop", Method::Get, Redirects::AnyHost, "/loop", 0,
         "gave up after 5 redirects (Location \"/loop\")", 6},
        {"https to http", Method::Get, Redirects::AnyHost, "tls:/redirect/302?to=" + web + "/chain/0", 0,
         "refused to follow a redirect from https to http (Location \"" + web + "/chain/0\")", 1},
        {"controls in the Location", Method::Get, Redirects::SameOrigin,
         "/redirect/302?to=http://x.example/%1b[2J%07", 0,
         "refused to follow a redirect to another origin (Location "
         "\"http://x.example/\xEF\xBF\xBD[2J\xEF\xBF\xBD\")",
         1},
        {"no http URL", Method::Get, Redirects::AnyHost, "/redirect/302?to=ftp://x.example/", 0,
         "the redirect leads to no http or https URL (Location \"ftp://x.example/\")", 1},
        {"303 turns a POST into a GET", Method::Post, Redirects::SameOrigin, "/redirect/303?to=/echo", 200,
         "GET /echo HTTP/1.1", 2},
        {"307 keeps the POST", Method::Post, Redirects::SameOrigin, "/redirect/307?to=/nowhere", 200,
         "posted body", 2},
        {"a status without redirect", Method::Get, Redirects::AnyHost, "/status/404", 404, "status body", 1},
        // robots.txt follows five redirects anywhere, also down to http; the sixth is its answer.
        {"robots.txt from https to http", Method::Get, Redirects::RobotsTxt,
         "tls:/redirect/302?to=" + web + "/chain/0", 200, "end", 2},
        {"robots.txt, five hops", Method::Get, Redirects::RobotsTxt, "/chain/5", 200, "end", 6},
        {"robots.txt, a sixth hop", Method::Get, Redirects::RobotsTxt, "/chain/6", 302, "", 6},
        {"robots.txt, a loop", Method::Get, Redirects::RobotsTxt, "/loop", 302, "", 6},
    };
    LiveClient client(settingsWith());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool tls = c.path.starts_with("tls:");
        auto request = get(tls ? servers->tls(c.path.substr(4)) : servers->web(c.path), c.mode);
        request.method = c.method;
        if (c.method == Method::Post) request.body = "body";
        const auto answer = client.perform(request);
        EXPECT_EQ(answer.status, c.status);
        EXPECT_EQ(answer.hops.size(), c.hops);
        if (c.status == 0) {
            EXPECT_EQ(answer.error, c.bodyOrError);
            continue;
        }
        EXPECT_EQ(answer.error, "");
        EXPECT_EQ(answer.body.substr(0, c.bodyOrError.size()), c.bodyOrError);
        if (c.status == 302 && c.mode == Redirects::Refuse) {
            EXPECT_EQ(answer.header("location"), "/echo");
        }
    }
}

TEST_F(LiveClientTest, NamesTheCauseOfAFailure) {
    const std::string stallTls = "https://127.0.0.1:" + std::to_string(servers->port("stall")) + "/";
    const std::string proxy = "127.0.0.1:" + std::to_string(servers->port("proxy"));
    const int closed = closedPort();
    const std::string closedAt = "127.0.0.1:" + std::to_string(closed);
    struct Case {
        const char* name;
        std::string proxy, caFile, url;
        std::uint64_t maxBody;
        std::string error; // a prefix of it
    } cases[] = {
        {"stalled TLS", "", "", stallTls, 0, "no complete answer within 700 ms"},
        // Each hop takes 400 ms: the deadline holds for the redirects together.
        {"slow redirects", "", "",
         servers->web("/redirect/302?ms=400&to=/redirect/302%3Fms%3D400%26to%3D/echo"), 0,
         "no complete answer within 700 ms"},
        {"body cap", "", "", servers->web("/big?n=3000"), 2048, "the answer exceeded 2 KiB"},
        {"body cap without length", "", "", servers->web("/chunked?n=3000"), 2048,
         "the answer exceeded 2 KiB"},
        {"refused", "", "", "http://" + closedAt + "/", 0, "connection refused by " + closedAt},
        {"proxy refuses the tunnel", proxy, "", "https://site.example/", 0,
         "the proxy " + proxy + " refused the tunnel to site.example:443 (status 403)"},
        {"proxy not there", closedAt, "", "https://site.example/", 0,
         "the proxy " + closedAt + " refused the connection"},
        {"untrusted certificate", "", "none", servers->tls("/echo"), 0,
         "TLS failed with 127.0.0.1:" + std::to_string(servers->port("tls")) + ": "},
        {"unreadable CA file", "", "/nonexistent/ca.pem", servers->tls("/echo"), 0,
         "cannot read the CA file /nonexistent/ca.pem"},
        {"no URL", "", "", "http://bad host/", 0, "not an http or https URL: \"http://bad host/\""},
        {"forged header", "", "", servers->web("/echo"), 0, "the header X-Bad holds a control character"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto settings = settingsWith(c.caFile == "none" ? ""
                                     : c.caFile.empty() ? TestCertificates::get().ca()
                                                        : c.caFile);
        settings.proxy = c.proxy;
        LiveClient client(settings);
        auto request = get(c.url, Redirects::AnyHost);
        request.maxBodyBytes = c.maxBody;
        request.deadline = std::chrono::milliseconds(700);
        if (std::string(c.name) == "forged header") request.headers = {{"X-Bad", "a\r\nCookie: x=1"}};
        const auto answer = client.perform(request);
        EXPECT_EQ(answer.status, 0);
        EXPECT_EQ(answer.error.substr(0, c.error.size()), c.error) << answer.error;
    }
}

TEST_F(LiveClientTest, KeepsToTheLimitsOfTransfersPerHostAndInAll) {
    struct Case {
        int perHost, connections;
        std::vector<std::string> bases;
        int peak;
    } cases[] = {
        {2, 16, {servers->web("")}, 2},
        {4, 3, {servers->web(""), servers->web("", "localhost")}, 3},
        {3, 16, {servers->tls("")}, 3}, // HTTP/1.1 over TLS: one connection each
    };
    for (const auto& c : cases) {
        auto settings = settingsWith();
        settings.perHost = c.perHost;
        settings.connections = c.connections;
        LiveClient client(settings);
        int done = 0;
        for (const auto& base : c.bases)
            for (int i = 0; i < 6; ++i)
                client.start(get(base + "/slow?ms=150"), [&](LiveAnswer a) { done += a.status == 200; });
        EXPECT_EQ(client.running(), 6 * c.bases.size());
        client.waitAll();
        EXPECT_EQ(done, static_cast<int>(6 * c.bases.size()));
        EXPECT_EQ(client.perform(get(servers->web("/peak"))).body, std::to_string(c.peak));
    }
}

TEST_F(LiveClientTest, StreamsBodiesAndStopsOnCancel) {
    LiveClient client(settingsWith());
    // A sink gets the 2xx body; returning false ends the transfer early without a failure.
    std::string streamed;
    auto request = get(servers->web("/big?n=100000"));
    request.sink = [&](std::string_view piece) {
        streamed += piece;
        return streamed.size() < 1000;
    };
    auto answer = client.perform(request);
    EXPECT_EQ(answer.error, "");
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.body.empty());
    EXPECT_GE(streamed.size(), 1000u);
    EXPECT_LT(streamed.size(), 100000u);

    // cancel gives "stopped" at once; a done that cancels others and starts a new transfer, and
    // a sink that cancels its own transfer, are all safe.
    std::vector<std::string> outcomes;
    auto note = [&](LiveAnswer a) {
        outcomes.push_back(a.error.empty() ? std::to_string(a.status) : a.error);
    };
    const auto slow = client.start(get(servers->web("/slow?ms=3000")), note);
    const auto other = client.start(get(servers->web("/slow?ms=3000")), note);
    client.start(get(servers->web("/echo")), [&](LiveAnswer a) {
        note(a);
        client.cancel(other);
        client.start(get(servers->web("/chain/0")), note);
    });
    LiveClient::Id self = 0;
    auto selfCancelling = get(servers->web("/big?n=100000"));
    selfCancelling.sink = [&](std::string_view) {
        client.cancel(self);
        return true;
    };
    self = client.start(selfCancelling, note);
    client.cancel(slow);
    EXPECT_EQ(outcomes, std::vector<std::string>{"stopped"});
    client.waitAll();
    std::multiset<std::string> rest(outcomes.begin() + 1, outcomes.end());
    EXPECT_EQ(rest, (std::multiset<std::string>{"200", "200", "stopped", "stopped"}))
        << ::testing::PrintToString(outcomes);
    client.cancel(slow); // nothing for one that has ended
    EXPECT_EQ(client.running(), 0u);
}

TEST_F(LiveClientTest, ASinkReadsUpToItsBoundWhetherTheLengthIsDeclaredOrNot) {
    // robots.txt (500 KiB read), a page (2 MiB read) under the client's 8 MiB cap, and a
    // sitemap (50 MiB read) under a cap a little above that.
    struct Case {
        const char* name;
        std::size_t bytes, bound;
        std::uint64_t cap;
    } cases[] = {
        {"a 10 MB robots.txt", 10'000'000, 500 * 1024 + 1, 0},
        {"a 9 MiB page", 9u << 20, 2u << 20, 0},
        {"a 55 MB sitemap", 55'000'000, 52'428'800, 52'428'800 + 65'536},
    };
    LiveClient client(settingsWith());
    for (const Case& c : cases)
        for (const char* path : {"/big", "/chunked"}) {
            SCOPED_TRACE(std::string(c.name) + " from " + path);
            std::size_t kept = 0;
            auto request = get(servers->web(path + ("?n=" + std::to_string(c.bytes))));
            request.maxBodyBytes = c.cap;
            request.sink = [&](std::string_view piece) {
                kept = std::min(c.bound, kept + piece.size());
                return kept < c.bound;
            };
            const auto answer = client.perform(request);
            EXPECT_EQ(answer.error, "");
            EXPECT_EQ(answer.status, 200);
            EXPECT_EQ(kept, c.bound);
        }
}

} // namespace
