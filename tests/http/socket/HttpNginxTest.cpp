// The client against a real server: nginx from the system's packages, started by the test on
// a free loopback port with its own configuration.

#include "support/NginxServer.h"
#include "support/TestCertificates.h"

#include "http/socket/HttpClient.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

class HttpNginx : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new NginxServer;
        const TestCertificates& certs = TestCertificates::get();
        if (certs.error().empty()) server_->enableTls(certs.path("server.pem"), certs.key());
        if (!server_->start()) startError_ = server_->error();
        if (!certs.error().empty()) startError_ = certs.error();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(startError_, "") << "nginx did not start"; }

    static NginxServer* server_;
    static std::string startError_;
};

NginxServer* HttpNginx::server_ = nullptr;
std::string HttpNginx::startError_;

TEST_F(HttpNginx, GetAndPost) {
    server_->writeFile("index.html", "<html>hello from nginx</html>\n");
    THttpClient client;
    client.TimeOut = 5000;
    int succeeded = 0;
    client.OnSuccess = [&](CmdType) { ++succeeded; };
    client.Get(server_->url("/index.html"));
    EXPECT_EQ(client.replyNumber, 200);
    EXPECT_EQ(client.Body, "<html>hello from nginx</html>\n");
    EXPECT_EQ(client.bytesTotal, 30);
    EXPECT_EQ(client.Header.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

    client.Post(server_->url("/post"), "url=http%3A%2F%2Fsite&title=My%20Site");
    EXPECT_EQ(client.replyNumber, 200);
    EXPECT_EQ(client.Body, "method=POST body=url=http%3A%2F%2Fsite&title=My%20Site\n");
    EXPECT_EQ(succeeded, 2);
    client.CAFile = TestCertificates::get().ca();
    client.Post(server_->tlsUrl("/post"), "over=tls");
    EXPECT_EQ(client.Body, "method=POST body=over=tls\n");
    client.Get(server_->tlsUrl("/index.html", "localhost"));
    EXPECT_EQ(client.Body, "<html>hello from nginx</html>\n");
    EXPECT_EQ(succeeded, 4);

    int failed = 0;
    client.OnFailure = [&](CmdType cmd) { failed = static_cast<int>(cmd) + 100; };
    client.Get(server_->url("/missing.html"));
    EXPECT_EQ(client.replyNumber, 404);
    EXPECT_EQ(failed, 100);
}

class HttpNginxLarge : public HttpNginx, public testing::WithParamInterface<bool> {};

TEST_P(HttpNginxLarge, BodyToTextAndToFileAlike) {
    constexpr std::int64_t size = 256ll << 20;
    const std::string source = server_->writeRandomFile("large.bin", size);
    const std::string expected = Sha256OfFile(source);
    const bool tls = GetParam();
    const std::string url = tls ? server_->tlsUrl("/large.bin", "localhost") : server_->url("/large.bin");

    THttpClient client;
    client.TimeOut = 10000;
    client.CAFile = TestCertificates::get().ca();
    std::int64_t packets = 0;
    std::int64_t lastSeen = 0;
    bool ordered = true;
    client.OnPacketRecvd = [&](TSockClient& c) {
        ++packets;
        ordered = ordered && c.bytesReceived >= lastSeen && c.bytesTotal == size;
        lastSeen = c.bytesReceived;
    };
    client.Get(url);
    ASSERT_EQ(static_cast<std::int64_t>(client.Body.size()), size);
    EXPECT_EQ(Sha256Of(client.Body), expected);
    EXPECT_EQ(client.bytesReceived, size);
    EXPECT_GT(packets, 1);
    EXPECT_TRUE(ordered);
    client.Body.clear();
    client.Body.shrink_to_fit();

    QTemporaryDir dir;
    client.InputFileMode = true;
    client.Header = dir.path().toStdString() + "/head.txt";
    client.Body = dir.path().toStdString() + "/large.bin";
    client.Get(url);
    EXPECT_EQ(Sha256OfFile(client.Body), expected);
    EXPECT_EQ(client.bytesReceived, size);
}

INSTANTIATE_TEST_SUITE_P(PlainAndTls, HttpNginxLarge, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Tls" : "Plain";
                         });

} // namespace
