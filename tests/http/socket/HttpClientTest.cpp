// The client's modes and its failures before any reply: files for the response and for the
// request body, URL errors, refused connections and a request started from a handler.

#include "support/ClientProbe.h"
#include "support/ScriptedServer.h"

#include "http/socket/HttpClient.h"
#include "tests/common/Files.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using S = ScriptedServer;

namespace {

std::string url(const ScriptedServer& server, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
}

std::uint16_t closedPort() {
    // A server that is gone leaves a port nobody listens on.
    ScriptedServer gone;
    return gone.port();
}

} // namespace

TEST(HttpClient, FileModeWritesHeaderAndBodyFiles) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    const std::string reply = "HTTP/1.0 200 OK\r\nContent-Length: 7\r\n\r\n";
    std::string body(300000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i * 7 + i / 251);
    ScriptedServer server({{S::send(reply), S::send(body)}});
    THttpClient client;
    client.TimeOut = 5000;
    client.InputFileMode = true;
    client.Header = base + "/head.txt";
    client.Body = base + "/body.bin";
    EXPECT_EQ(messageOf([&] { client.Get(url(server)); }), "");
    EXPECT_EQ(readFile(client.Header), reply);
    EXPECT_EQ(readFile(client.Body), body);
    EXPECT_EQ(client.bytesReceived, static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(client.bytesTotal, 7);
    // The names stay: file mode never puts the response itself into these properties.
    EXPECT_EQ(client.Body, base + "/body.bin");

    // A body file that cannot be created fails the request.
    ScriptedServer again({{S::send(reply + "x")}});
    client.Body = base + "/no/such/dir/body.bin";
    EXPECT_NE(messageOf([&] { client.Get(url(again)); }), "");
    EXPECT_FALSE(client.connected());
}

TEST(HttpClient, OutputFileModeSendsTheFileAsTheBody) {
    QTemporaryDir dir;
    const std::string name = dir.path().toStdString() + "/post.dat";
    std::string data(200000, 'p');
    data[100] = '\0';
    writeFile(name, data);
    ScriptedServer server({{S::send("HTTP/1.0 200 OK\r\n\r\nok")}});
    THttpClient client;
    client.TimeOut = 5000;
    client.OutputFileMode = true;
    EXPECT_EQ(messageOf([&] { client.Post(url(server, "/up"), name); }), "");
    const std::string request = server.allRequests();
    const std::string head = request.substr(0, request.find("\r\n\r\n") + 4);
    EXPECT_NE(head.find("POST /up HTTP/1.0\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nContent-Length: 200000\r\n"), std::string::npos);
    EXPECT_EQ(request.substr(head.size()), data);

    // A missing file fails before anything is sent.
    EXPECT_NE(messageOf([&] { client.Post(url(server), name + ".missing"); }), "");
    EXPECT_EQ(server.connections(), 1);
}

TEST(HttpClient, TextBodyWithZeroBytesIsSentWhole) {
    ScriptedServer server({{S::send("HTTP/1.0 200 OK\r\n\r\n")}});
    THttpClient client;
    client.TimeOut = 5000;
    const std::string data("a=1\0b=2", 7);
    EXPECT_EQ(messageOf([&] { client.Post(url(server), data); }), "");
    const std::string request = server.allRequests();
    EXPECT_NE(request.find("Content-Length: 7\r\n\r\n"), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 7), data);
}

TEST(HttpClient, UrlErrorsComeBeforeAnyConnection) {
    ScriptedServer server({{S::send("HTTP/1.0 200 OK\r\n\r\n")}});
    THttpClient client;
    client.TimeOut = 5000;
    EXPECT_EQ(messageOf([&] { client.Get(""); }), "Empty URL");
    EXPECT_EQ(messageOf([&] { client.Get("http://127.0.0.1:80x/"); }), "'80x' is not a valid integer value");
    EXPECT_EQ(server.connections(), 0);

    // A URL without host goes to the host and port of the one before.
    EXPECT_EQ(messageOf([&] { client.Get(url(server, "/first")); }), "");
    EXPECT_EQ(messageOf([&] { client.Get("/second"); }), "");
    EXPECT_EQ(server.connections(), 2);
    EXPECT_NE(server.requests().at(1).find("GET /second HTTP/1.0\r\n"), std::string::npos);
}

TEST(HttpClient, RefusedConnectionAndFailedLookup) {
    THttpClient client;
    client.TimeOut = 5000;
    ClientProbe probe(client);
    EXPECT_EQ(messageOf([&] { client.Get("http://127.0.0.1:" + std::to_string(closedPort()) + "/"); }),
              "Connection Failed");
    EXPECT_EQ(probe.count("AboutToSend"), 1);
    EXPECT_EQ(probe.count("Success(0)") + probe.count("Failure(0)"), 0);
    // The client is usable again afterwards.
    ScriptedServer server({{S::send("HTTP/1.0 200 OK\r\n\r\nback")}});
    EXPECT_EQ(messageOf([&] { client.Get(url(server)); }), "");
    EXPECT_EQ(client.Body, "back");
}

TEST(HttpClient, NamedHostIsLookedUpAndReported) {
    ScriptedServer server({{S::send("HTTP/1.0 200 OK\r\n\r\nnamed")}});
    THttpClient client;
    client.TimeOut = 5000;
    ClientProbe probe(client);
    EXPECT_EQ(messageOf([&] { client.Get("http://localhost:" + std::to_string(server.port()) + "/"); }), "");
    EXPECT_EQ(probe.events(), "AboutToSend HostResolved Connect PacketRecvd Success(0)");
    EXPECT_NE(server.allRequests().find("\r\nHost: localhost\r\n"), std::string::npos);
}

TEST(HttpClient, RequestFromAHandlerOfARunningOneIsRefused) {
    ScriptedServer server({{S::send("HTTP/1.0 200 OK\r\n\r\nbody")}});
    THttpClient client;
    client.TimeOut = 5000;
    std::string inner;
    client.OnPacketRecvd = [&](TSockClient&) {
        if (inner.empty()) inner = messageOf([&] { client.Get(url(server, "/nested")); });
    };
    EXPECT_EQ(messageOf([&] { client.Get(url(server)); }), "");
    EXPECT_EQ(inner, "Request already in progress");
    EXPECT_EQ(client.Body, "body");
    EXPECT_EQ(server.connections(), 1);
}

TEST(HttpClient, RedirectHandledByTheOwnerEndsThePass) {
    ScriptedServer server;
    server.setScripts({{S::send("HTTP/1.0 302 Found\r\nLocation: " + url(server, "/next") + "\r\n\r\n")}});
    THttpClient client;
    client.TimeOut = 5000;
    ClientProbe probe(client);
    client.OnRedirect = [](bool& handled) { handled = true; };
    EXPECT_EQ(messageOf([&] { client.Get(url(server)); }), "");
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(client.requestURL(), url(server, "/next"));
    EXPECT_EQ(client.locationValue(), url(server, "/next"));
}

TEST(HttpClient, LinkAnnouncesNoBodyItDoesNotSend) {
    ScriptedServer server({{S::send("HTTP/1.0 200 OK\r\n\r\n")}});
    THttpClient client;
    client.TimeOut = 5000;
    EXPECT_EQ(messageOf([&] { client.Link(url(server, "/a"), "</b>; rel=next"); }), "");
    const std::string request = server.allRequests();
    EXPECT_NE(request.find("LINK /a HTTP/1.0\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nLink: </b>; rel=next\r\nContent-Length: 0\r\n\r\n"), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 4), "\r\n\r\n");
}

TEST(HttpClient, StatusReportsPassTheLevelFilter) {
    ScriptedServer server({{S::send("HTTP/1.0 200 OK\r\n\r\n")}});
    THttpClient client;
    client.TimeOut = 5000;
    std::vector<std::string> seen;
    client.OnStatus = [&](TSockClient&, const std::string& s) { seen.push_back(s); };
    client.ReportLevel = 2;
    EXPECT_EQ(messageOf([&] { client.Get(url(server)); }), "");
    EXPECT_EQ(seen, std::vector<std::string>{"Transaction Completed"});
}
