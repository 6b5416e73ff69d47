// Servers that misbehave: every request must end in bounded time with its documented
// exception, never hang, crash or take unbounded memory.

#include "support/ClientProbe.h"
#include "support/ScriptedServer.h"

#include "http/socket/HttpClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;
using S = ScriptedServer;

namespace {

std::string url(const ScriptedServer& server, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
}

struct Outcome {
    std::string error;
    std::chrono::milliseconds elapsed{};
};

Outcome get(THttpClient& client, const std::string& target) {
    auto start = Clock::now();
    Outcome out;
    out.error = messageOf([&] { client.Get(target); });
    out.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return out;
}

const std::string ok = "HTTP/1.0 200 OK\r\n\r\n";

} // namespace

TEST(HttpHostile, NoReplyOrTooShortReplyFailsAsSoonAsTheServerCloses) {
    for (int timeOut : {5000, 0}) {
        for (const std::string reply : {"", "H", "HT"}) {
            ScriptedServer server({{S::send(reply), S::close()}});
            THttpClient client;
            client.TimeOut = timeOut; // 0: without the fix this would wait forever
            auto out = get(client, url(server));
            EXPECT_EQ(out.error, "Accepting Canceled") << "reply '" << reply << "'";
            EXPECT_LT(out.elapsed, 2000ms);
            EXPECT_FALSE(client.connected());
        }
    }
}

TEST(HttpHostile, SilentServerEndsAtTheTimeOut) {
    ScriptedServer server({{S::send("HT"), S::holdOpen(5000ms)}});
    THttpClient client;
    client.TimeOut = 300;
    auto out = get(client, url(server));
    EXPECT_EQ(out.error, "Accepting Canceled");
    EXPECT_GE(out.elapsed, 250ms);
    EXPECT_LT(out.elapsed, 3000ms);
    EXPECT_TRUE(client.timedOut());

    // Silence in the middle of the header and between body chunks ends the same way, each
    // with the exception of its step.
    ScriptedServer header({{S::send("HTTP/1.0 200 OK\r\nX-Half"), S::holdOpen(5000ms)}});
    EXPECT_EQ(get(client, url(header)).error, "Socket readln aborted");
    ScriptedServer body({{S::send(ok + "abc"), S::holdOpen(5000ms)}});
    EXPECT_EQ(get(client, url(body)).error, "Socket capture aborted");
    EXPECT_EQ(client.Body, "abc");
}

TEST(HttpHostile, StatusLineOnlyOrHeaderCutShortByTheClose) {
    for (const std::string reply :
         {"HTTP/1.0 200 OK\r\n", "HTTP/1.0 200 OK\r\nServer: x\r\n", "HTTP/1.0 200"}) {
        ScriptedServer server({{S::send(reply), S::close()}});
        THttpClient client;
        client.TimeOut = 0;
        ClientProbe probe(client);
        auto out = get(client, url(server));
        EXPECT_EQ(out.error, "Socket readln aborted") << reply;
        EXPECT_LT(out.elapsed, 2000ms);
        EXPECT_EQ(probe.count("Success(0)"), 0);
    }
}

TEST(HttpHostile, OddHeaderLinesAreKeptByteForByte) {
    const std::string header = "HTTP/1.0 200 OK\r\n"
                               "no colon here\r\n"
                               "X-Nul: a\0b\r\n"
                               "Set-Cookie: id=1\0x\n"
                               "bare: lf\n"
                               "\n"s;
    ScriptedServer server({{S::send(header + std::string("body\0end", 8))}});
    THttpClient client;
    client.TimeOut = 5000;
    ClientProbe probe(client);
    EXPECT_EQ(get(client, url(server)).error, "");
    EXPECT_EQ(client.Header, header);
    EXPECT_EQ(client.Body, std::string("body\0end", 8));
    EXPECT_EQ(client.cookieValue(), std::string("id=1\0x", 6));
    EXPECT_EQ(client.replyNumber, 200);
    EXPECT_EQ(probe.count("Success(0)"), 1);
}

TEST(HttpHostile, EndlessHeaderLineOrHeaderIsRefused) {
    const std::string tenMegabytes(10 << 20, 'a');
    for (const std::string prefix : {"HTTP/1.0 200 OK\r\nX-Big: ", "HTTP/1.0 200 "}) {
        ScriptedServer server({{S::send(prefix + tenMegabytes + "\r\n\r\n")}});
        THttpClient client;
        client.TimeOut = 5000;
        auto out = get(client, url(server));
        EXPECT_EQ(out.error, "Response header line too long");
        EXPECT_LT(out.elapsed, 5000ms);
        EXPECT_LE(static_cast<std::int64_t>(client.Header.size()), THttpClient::MaxHeaderSize);
    }

    std::string manyLines = "HTTP/1.0 200 OK\r\n";
    while (manyLines.size() < 400 * 1024)
        manyLines += "X-Filler: " + std::string(90, 'f') + "\r\n";
    ScriptedServer server({{S::send(manyLines + "\r\nbody")}});
    THttpClient client;
    client.TimeOut = 5000;
    EXPECT_EQ(get(client, url(server)).error, "Response header too long");
    EXPECT_LE(static_cast<std::int64_t>(client.Header.size()), THttpClient::MaxHeaderSize);

    // A header just under both bounds is fine.
    std::string large = "HTTP/1.0 200 OK\r\nX-Large: " + std::string(90 * 1024, 'l') + "\r\n";
    while (large.size() < 290 * 1024)
        large += "X-Filler: " + std::string(90, 'f') + "\r\n";
    ScriptedServer fine({{S::send(large + "\r\nbody")}});
    EXPECT_EQ(get(client, url(fine)).error, "");
    EXPECT_EQ(client.Body, "body");
}

TEST(HttpHostile, RedirectLoopEndsAfterTwentyPasses) {
    for (int status : {300, 301, 302}) {
        ScriptedServer server;
        server.setScripts({{S::send("HTTP/1.0 " + std::to_string(status) +
                                    " Again\r\nLocation: " + url(server, "/again") + "\r\n\r\n")}});
        THttpClient client;
        client.TimeOut = 5000;
        ClientProbe probe(client);
        auto out = get(client, url(server, "/start"));
        EXPECT_EQ(out.error, "Too many redirects");
        EXPECT_EQ(server.connections(), THttpClient::MaxPasses);
        EXPECT_EQ(probe.count("Redirect"), THttpClient::MaxPasses);
        EXPECT_FALSE(client.connected());
    }
}

TEST(HttpHostile, StatusesThatNameNoNewUrlEndTheRequest) {
    struct Case {
        int status;
        bool redirectEvent;
    };
    for (Case c : {Case{299, false}, Case{303, true}, Case{304, true}, Case{398, true}, Case{399, false}}) {
        ScriptedServer server;
        server.setScripts({{S::send("HTTP/1.0 " + std::to_string(c.status) +
                                    " X\r\nLocation: " + url(server, "/n") + "\r\n\r\n")}});
        THttpClient client;
        client.TimeOut = 5000;
        ClientProbe probe(client);
        EXPECT_EQ(get(client, url(server)).error, "") << c.status;
        EXPECT_EQ(server.connections(), 1) << c.status;
        EXPECT_EQ(probe.count("Redirect"), c.redirectEvent ? 1 : 0) << c.status;
        EXPECT_EQ(probe.count("Success(0)") + probe.count("Failure(0)"), 0) << c.status;
    }
}

TEST(HttpHostile, RedirectWithoutLocationOrToHttps) {
    ScriptedServer server({{S::send("HTTP/1.0 302 Found\r\n\r\n")}});
    THttpClient client;
    client.TimeOut = 5000;
    EXPECT_EQ(get(client, url(server)).error, "Empty URL");
    EXPECT_EQ(server.connections(), 1);

    // The redirect to https is followed; nothing listens on port 1.
    ScriptedServer secure({{S::send("HTTP/1.0 302 Found\r\nLocation: https://127.0.0.1:1/\r\n\r\n")}});
    EXPECT_EQ(get(client, url(secure)).error, "Connection Failed");
    EXPECT_TRUE(client.secure());
    EXPECT_EQ(secure.connections(), 1);
}

TEST(HttpHostile, EndlessFastBodyStopsAtTheSizeBound) {
    ScriptedServer server({{S::send(ok), S::sendForever(std::string(65536, 'z'))}});
    THttpClient client;
    client.TimeOut = 5000;
    client.MaxBodySize = 3 << 20;
    ClientProbe probe(client);
    auto out = get(client, url(server));
    EXPECT_EQ(out.error, "Socket capture aborted");
    EXPECT_TRUE(client.bodyLimitExceeded());
    EXPECT_EQ(client.Body.size(), std::size_t{3} << 20);
    EXPECT_EQ(client.bytesReceived, 3 << 20);
    EXPECT_LT(out.elapsed, 10000ms);
    EXPECT_EQ(probe.count("Success(0)"), 0);
    EXPECT_FALSE(client.connected());

    // A body of exactly the bound is complete, not a breach.
    ScriptedServer exact({{S::send(ok + std::string(1000, 'e'))}});
    client.MaxBodySize = 1000;
    EXPECT_EQ(get(client, url(exact)).error, "");
    EXPECT_FALSE(client.bodyLimitExceeded());
    EXPECT_EQ(client.Body.size(), 1000u);
}

TEST(HttpHostile, DeadlineEndsASlowButSteadyRequest) {
    // Each piece comes well within the time-out, so only the deadline can end this one.
    ScriptedServer server({{S::send(ok), S::sendForever("x", 20ms)}});
    THttpClient client;
    client.TimeOut = 1000;
    client.RequestDeadline = 400;
    auto out = get(client, url(server));
    EXPECT_EQ(out.error, "Socket capture aborted");
    EXPECT_TRUE(client.deadlineExpired());
    EXPECT_GE(out.elapsed, 350ms);
    EXPECT_LT(out.elapsed, 3000ms);

    // Over redirects: each pass is quick, the chain is not.
    ScriptedServer chain;
    chain.setScripts(
        {{S::sleep(60ms), S::send("HTTP/1.0 302 Found\r\nLocation: " + url(chain, "/n") + "\r\n\r\n")}});
    client.RequestDeadline = 300;
    out = get(client, url(chain));
    EXPECT_NE(out.error, "");
    EXPECT_NE(out.error, "Too many redirects");
    EXPECT_TRUE(client.deadlineExpired());
    EXPECT_LT(chain.connections(), THttpClient::MaxPasses);

    // The deadline of one request does not reach into the next.
    ScriptedServer quick({{S::send(ok + "fine")}});
    EXPECT_EQ(get(client, url(quick)).error, "");
    EXPECT_FALSE(client.deadlineExpired());
    EXPECT_EQ(client.Body, "fine");
}

TEST(HttpHostile, ResetInTheMiddleOfTheBodyIsAnError) {
    ScriptedServer server({{S::send(ok + std::string(5000, 'r')), S::sleep(100ms), S::reset()}});
    THttpClient client;
    client.TimeOut = 5000;
    ClientProbe probe(client);
    auto out = get(client, url(server));
    EXPECT_EQ(out.error, "10054:Connection reset by peer");
    EXPECT_EQ(probe.count("Success(0)"), 0);
    EXPECT_LT(out.elapsed, 3000ms);
    EXPECT_FALSE(client.connected());

    // A reset before the reply is an error of its own kind too.
    ScriptedServer early({{S::reset()}});
    EXPECT_EQ(get(client, url(early)).error, "10054:Connection reset by peer");
}

TEST(HttpHostile, ContentLengthOfAnySizeIsClamped) {
    ScriptedServer server(
        {{S::send("HTTP/1.0 200 OK\r\nContent-Length: " + std::string(60, '9') + "\r\n\r\nx")}});
    THttpClient client;
    client.TimeOut = 5000;
    EXPECT_EQ(get(client, url(server)).error, "");
    EXPECT_EQ(client.bytesTotal, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(client.Body, "x");
}

// A cookie that a redirect sets goes to the server the redirect leads to, and nowhere else: not
// back to the first host, not to the hosts of later requests. One with a control character
// goes nowhere. "localhost" and "127.0.0.1" are two hosts of one loopback server.
TEST(HttpHostile, RedirectCookieGoesOnlyToTheServerTheRedirectLeadsTo) {
    struct Case {
        const char* name;
        std::string cookie;
        bool sentToRedirectTarget;
    } cases[] = {
        {"plain", "s=1; path=/", true}, {"bare CR", "s=1\rX-Evil: 1", false},
        {"ESC", "s=\x1b[2J", false},    {"TAB", "s=1\tx", false},
        {"DEL", "s=1\x7f", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        const std::string port = std::to_string(server.port());
        server.setScripts({
            {S::send("HTTP/1.0 302 Moved\r\nLocation: http://localhost:" + port +
                     "/second\r\nSet-Cookie: " + c.cookie + "\r\n\r\n")},
            {S::send("HTTP/1.0 302 Moved\r\nLocation: http://127.0.0.1:" + port + "/third\r\n\r\n")},
            {S::send(ok + "done")},
        });
        THttpClient client;
        client.TimeOut = 5000;
        EXPECT_EQ(get(client, url(server, "/first")).error, "");
        EXPECT_EQ(get(client, url(server, "/later")).error, "");
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 4u);
        const std::string line = "Cookie: " + c.cookie + "\r\n";
        EXPECT_EQ(requests[1].find(line) != std::string::npos, c.sentToRedirectTarget) << requests[1];
        for (int i : {0, 2, 3})
            EXPECT_EQ(requests[i].find("Cookie"), std::string::npos) << requests[i];
        EXPECT_EQ(requests[1].find("X-Evil"), std::string::npos);
    }
}
