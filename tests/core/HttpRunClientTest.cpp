// The run's client as the live channels use it: their own header lines and methods, and the
// answer kept for them to read, against a scripted loopback server.
#include "core/HttpRunClient.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

namespace {

using S = ScriptedServer;

TEST(HttpRunClient, ExchangeSendsItsOwnLinesAndKeepsTheAnswer) {
    ScriptedServer server({{S::send("HTTP/1.0 429 Too Many Requests\r\nretry-after:  120 \r\n\r\n{\"x\":1}")},
                           {S::send("HTTP/1.0 204 No Content\r\n\r\n")},
                           {S::send("HTTP/1.0 200 OK\r\n\r\n")}});
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    HttpRunClient client;
    client.setTimeOut(5000);
    RunClient::Answer a = client.exchange(
        {"POST", base + "/indexnow", {{"Content-Type", "application/json; charset=utf-8"}}, "{\"a\":\"b\"}"});
    EXPECT_EQ(a.status, 429);
    EXPECT_EQ(a.reason, "Too Many Requests");
    EXPECT_EQ(a.headerValue("Retry-After"), "120");
    EXPECT_EQ(a.headerValue("Location"), "");
    EXPECT_EQ(a.body, "{\"x\":1}");

    a = client.exchange({"PUT", base + "/sites/x", {{"Authorization", "Bearer t"}}, ""});
    EXPECT_EQ(a.status, 204);
    client.Get(base + "/plain");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    // The live service's Content-Type takes the place of the form's.
    EXPECT_NE(requests[0].find("\r\nContent-Type: application/json; charset=utf-8\r\n"), std::string::npos);
    EXPECT_EQ(requests[0].find("x-www-form-urlencoded"), std::string::npos);
    EXPECT_EQ(requests[1].rfind("PUT /sites/x HTTP/1.0\r\n", 0), 0u);
    EXPECT_NE(requests[1].find("\r\nContent-Length: 0\r\n"), std::string::npos) << requests[1];
    EXPECT_NE(requests[1].find("\r\nAuthorization: Bearer t\r\n\r\n"), std::string::npos) << requests[1];
    // The catalogue's next request has its own lines only.
    EXPECT_EQ(requests[2].find("Authorization"), std::string::npos);
    EXPECT_NE(requests[2].find("Content-type: application/x-www-form-urlencoded"), std::string::npos);
}

} // namespace
