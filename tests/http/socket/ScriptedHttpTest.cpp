// Replays the test case files of tests/http/data: a loopback server answers each connection
// with the canned reply of the file, and the test compares the exact request bytes the client
// sent, and what it made of the reply, with the file's <verify> section.

#include "support/ClientProbe.h"
#include "support/ScriptedServer.h"
#include "support/TestCaseFile.h"

#include "http/socket/HttpClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

std::vector<std::string> testCaseNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(LARKSPAN_SOURCE_DIR "/tests/http/data"))
        if (entry.path().filename().string().rfind("test", 0) == 0)
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
        s.replace(pos, from.size(), to);
    return s;
}

class ScriptedHttp : public testing::TestWithParam<std::string> {};

TEST_P(ScriptedHttp, RequestAndResponseMatchTheFile) {
    auto file = TestCaseFile::load(LARKSPAN_SOURCE_DIR "/tests/http/data/" + GetParam());
    SCOPED_TRACE(GetParam() + ": " + file.value("info", "name"));

    ScriptedServer server;
    file.setPort(server.port());
    std::vector<ScriptedServer::Script> scripts;
    for (int n = 1;; ++n) {
        auto reply = file.section("reply", n == 1 ? "data" : "data" + std::to_string(n));
        if (!reply) break;
        scripts.push_back({ScriptedServer::send(*reply)});
    }
    ASSERT_FALSE(scripts.empty()) << "no <data> in <reply>";
    server.setScripts(std::move(scripts));

    THttpClient client;
    client.TimeOut = 5000;
    client.ReportLevel = 16;
    ClientProbe probe(client);
    if (file.value("client", "proxy") == "yes") {
        client.Proxy = "127.0.0.1";
        client.ProxyPort = server.port();
    }
    client.HeaderInfo.UserId = file.value("client", "userid");
    client.HeaderInfo.Password = file.value("client", "password");
    client.HeaderInfo.LocalProgram = file.value("client", "agent");
    client.HeaderInfo.Referer = file.value("client", "referer");
    client.HeaderInfo.LocalMailAddress = file.value("client", "from");

    // Bytes that a file cannot hold on one line are written as placeholders.
    std::string command = file.value("client", "command");
    command = replaceAll(replaceAll(command, "%NEWLINE%", "\r\n"), "%TAB%", "\t");
    const std::string verb = command.substr(0, command.find(' '));
    const std::string url = command.substr(command.find(' ') + 1);
    std::string error = messageOf([&] {
        if (verb == "get")
            client.Get(url);
        else if (verb == "post")
            client.Post(url, file.section("client", "postdata").value_or(""));
        else
            FAIL() << "unknown command " << verb;
    });
    EXPECT_EQ(error, file.value("verify", "error"));

    if (auto protocol = file.section("verify", "protocol")) {
        EXPECT_EQ(server.allRequests(), *protocol);
    }
    if (auto status = file.section("verify", "status")) {
        EXPECT_EQ(client.replyNumber, std::stoi(*status));
    }
    if (auto total = file.section("verify", "bytestotal")) {
        EXPECT_EQ(client.bytesTotal, std::stoll(*total));
    }
    if (auto body = file.section("verify", "body")) {
        EXPECT_EQ(client.Body, *body);
        EXPECT_EQ(client.bytesReceived, static_cast<std::int64_t>(body->size()));
    }
    if (auto header = file.section("verify", "header")) {
        EXPECT_EQ(client.Header, *header);
    }
    if (file.section("verify", "cookie")) {
        EXPECT_EQ(client.HeaderInfo.Cookie, file.value("verify", "cookie"));
    }
    if (file.section("verify", "url")) {
        EXPECT_EQ(client.requestURL(), file.value("verify", "url"));
    }
    if (file.section("verify", "connections")) {
        EXPECT_EQ(server.connections(), std::stoi(file.value("verify", "connections")));
    }
    if (file.section("verify", "events")) {
        EXPECT_EQ(probe.events(), file.value("verify", "events"));
    }
    EXPECT_TRUE(probe.disconnectedEveryPass());
    EXPECT_FALSE(client.connected());
}

INSTANTIATE_TEST_SUITE_P(Files, ScriptedHttp, testing::ValuesIn(testCaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

} // namespace
