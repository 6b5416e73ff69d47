// The live channels against servers on 127.0.0.1 that redirect, lie and flood: the engine
// simulator plays the site, IndexNow and Google through the proxy of the configuration, with
// rules that turn an endpoint hostile; a static server serves a sitemap index of gzip bombs.
#include "core/Config.h"
#include "core/channels/LiveSite.h"
#include "core/google/SearchConsoleChannel.h"
#include "core/indexnow/IndexNowChannel.h"
#include "core/run/LiveChannels.h"
#include "core/run/SubmissionRun.h"
#include "core/sitemaps/SitemapSource.h"
#include "core/sitemaps/Sitemaps.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "support/TestCertificates.h"
#include "tests/common/PythonHttpServer.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/DemoCertificates.h"
#include "tests/core/support/RunFakes.h"
#include "tests/core/support/RunTestSupport.h"
#include "tests/core/support/SitemapTestSupport.h"
#include "tools/simulator/EngineSimulator.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

const std::string Key = "0123456789abcdef0123456789abcdef";
const std::string Account = "larkspan@example-project.iam.gserviceaccount.com";
const std::string Replacement = "\xEF\xBF\xBD";

// Whether a line holds a control character that printable() replaces.
bool holdsControl(const std::string& line) {
    return printable(line) != line;
}

class LiveHostileTest : public ::testing::Test {
protected:
    const TestCertificates& certs = TestCertificates::get();
    TempDir dir;
    Config config;
    FakeRunHost host{dir.file("profiles")};
    FakeRunClient client;
    std::unique_ptr<EngineSimulator> simulator;
    std::unique_ptr<SubmissionRun> run;

    void SetUp() override {
        if (!certs.error().empty() || demoCertificates().empty()) GTEST_SKIP() << "no certificates";
        std::filesystem::create_directories(dir / "profiles");
        site("www.example.com", Key + ".txt", Key);
        site("www.example.com", "robots.txt", "User-agent: *\nSitemap: /sitemap.xml\n");
        site("www.example.com", "sitemap.xml",
             "<urlset "
             "xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><url><loc>https://www.example.com/a"
             "</loc></url><url><loc>https://www.example.com/b</loc></url></urlset>");
        site("www.example.com", "index.html", "home");
        const std::string pem = readAll(certs.path("account.key"));
        dir.write("profiles/account.json",
                  "{\"type\": \"service_account\", \"private_key_id\": \"4f1c0ffee\", "
                  "\"private_key\": \"" +
                      replaceAll(pem, "\n", "\\n") + "\", \"client_email\": \"" + Account +
                      "\", \"token_uri\": \"https://oauth2.googleapis.com/token\"}");
        std::filesystem::permissions(dir / "profiles/account.json", std::filesystem::perms::owner_read |
                                                                        std::filesystem::perms::owner_write);
    }
    static std::string readAll(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void site(const std::string& host, const std::string& path, const std::string& content) {
        dir.write("sites/" + host + "/" + path, content);
    }
    // The simulator with the rules; every live request of the run goes through it.
    void start(const std::vector<std::string>& rules) {
        simulator = std::make_unique<EngineSimulator>(
            rules, EngineSimulator::defaultScript(),
            EngineSimulator::Tls{demoCertificates() + "/server.pem", demoCertificates() + "/server.key"},
            std::vector<std::string>{"--sites", dir.file("sites"), "--google-account",
                                     dir.file("profiles/account.json"), "--google-property",
                                     "https://www.example.com/=" + Account});
        config.catalogue = false;
        config.caFile = demoCertificates() + "/ca.pem";
        config.proxy = simulator->address();
        // What the channels send is watched here; the page checks have their own tests.
        config.checkPages = false;
        run = std::make_unique<SubmissionRun>(host, client, config);
        run->Start();
        run->setProfileDirectory(dir.file("profiles"));
        addLiveChannels(*run);
    }
    // A profile named Garden that uses only the channels whose keys are given. Its first run
    // announces every page, so that what a run sends does not hang on the site store's history.
    void profile(const std::string& url, ProfileExtras extras) {
        extras.emplace_back(IndexNowFirstRunKey, "all");
        host.store.remove("Garden");
        host.store.save(completeProfile("Garden", url), extras);
    }
    // Requests of the simulator's log whose path is the one given.
    std::size_t requestsTo(const std::string& path) const {
        std::size_t n = 0;
        for (const auto& r : simulator->requests())
            n += r.path == path ? 1 : 0;
        return n;
    }
    std::string logText() const {
        std::string all;
        for (const std::string& line : host.log)
            all += line + "\n";
        return all;
    }
};

TEST_F(LiveHostileTest, ARedirectOfARequestWithABodyOrATokenIsARefusalAndNothingGoesThere) {
    const ProfileExtras indexNow{{IndexNowKeyKey, Key}};
    const ProfileExtras google{{GoogleServiceAccountKey, "account.json"}};
    const struct {
        std::string rulePath;
        ProfileExtras extras;
        std::string refusal;
    } endpoints[] = {
        {"/indexnow", indexNow,
         "302 Found (an answer the protocol does not name); 3 URLs stay pending; it redirects to "},
        {"/token", google, ": 302 Found, a redirect to "},
        {"/webmasters", google, "302 Found, a redirect, which a request with a token never follows (to "},
    };
    // Another host, another port, another scheme.
    const std::string targets[] = {"https://www.example.net/stolen", "https://api.indexnow.org:8443/stolen",
                                   "http://www.example.com/stolen"};
    for (const auto& endpoint : endpoints)
        for (const std::string& target : targets) {
            SCOPED_TRACE(endpoint.rulePath + " to " + target);
            host.log.clear();
            start({endpoint.rulePath + "=redirect:" + target});
            profile("https://www.example.com/", endpoint.extras);
            run->Submit({"Garden"});
            EXPECT_NE(logText().find(endpoint.refusal + target), std::string::npos) << logText();
            EXPECT_EQ(requestsTo("/stolen"), 0u);
            EXPECT_TRUE(run->liveRefused());
            EXPECT_EQ(run->ResultCount(), 0);
        }
}

TEST_F(LiveHostileTest, AKeyFileMustStayOnTheOrigin) {
    start({"/" + Key + ".txt=redirect:https://www.example.net/stolen"});
    LiveClient live(liveClientSettings(config));
    ClientSitemapSource source(live);
    const KeyFileCheck check =
        checkIndexNowKeyFile(source, Url::parse("https://www.example.com/").value(), Key, "");
    EXPECT_FALSE(check.holdsKey);
    EXPECT_EQ(check.message.rfind("The key file https://www.example.com/" + Key + ".txt cannot be read: ", 0),
              0u)
        << check.message;
    EXPECT_EQ(requestsTo("/stolen"), 0u);
}

TEST_F(LiveHostileTest, AnApexThatRedirectsToWwwGivesTheOriginAndItsSitemap) {
    start({"example.com=redirect:https://www.example.com/"});
    profile("http://example.com/", {{IndexNowKeyKey, Key}});
    run->Submit({"Garden"});
    EXPECT_EQ(host.log,
              std::vector<std::string>{"http://example.com/ answers from https://www.example.com/"});
    EXPECT_FALSE(run->liveRefused());
    std::vector<EngineSimulator::Request> posts;
    for (const auto& r : simulator->requests())
        if (r.method == "POST") posts.push_back(r);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].body, "{\"host\":\"www.example.com\",\"key\":\"" + Key +
                                 "\",\"urlList\":[\"https://www.example.com/\",\"https://www.example.com/a\","
                                 "\"https://www.example.com/b\"]}");
    EXPECT_EQ(host.records.front().engine, "Site");
    EXPECT_EQ(host.records.front().url, "http://example.com/");
    EXPECT_EQ(host.records.front().status, std::optional<int>(302));
}

TEST_F(LiveHostileTest, ControlCharactersFromTheNetworkAreShownReplaced) {
    const struct {
        std::vector<std::string> rules;
        std::string robots;
        std::string shown;
    } cases[] = {
        {{"/indexnow=status:400,reason:Bad%1B[2J%07%C2%9B"},
         "",
         "400 Bad" + Replacement + "[2J" + Replacement + Replacement},
        {{"/indexnow=redirect:https://x.test/%1B]0;owned%07"},
         "",
         "https://x.test/" + Replacement + "]0;owned" + Replacement},
        {{}, "Sitemap: https://www.example.com/\x1b[31mred.xml\n", "/" + Replacement + "[31mred.xml"},
        // A C1 control in a URL is sent, and shown, percent-encoded.
        {{},
         "Sitemap: https://www.example.com/\xC2\x9B"
         "31m.xml\n",
         "https://www.example.com/%C2%9B31m.xml: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        host.log.clear();
        if (!c.robots.empty()) site("www.example.com", "robots.txt", c.robots);
        start(c.rules);
        profile("https://www.example.com/", {{IndexNowKeyKey, Key}});
        run->Submit({"Garden"});
        EXPECT_NE(logText().find(c.shown), std::string::npos) << logText();
        for (const std::string& line : host.log)
            EXPECT_FALSE(holdsControl(line)) << line;
    }
}

TEST(LiveHostileRules, AHostWithAControlCharacterOrABlankIsRefusedWhereItEnters) {
    const struct {
        std::string sitemap;
        bool good;
    } values[] = {
        {"", true},
        {"https://www.example.com/sitemap.xml", true},
        {"https://www.example.com\r\n/sitemap.xml", false},
        {"https://www.exa\nmple.com/sitemap.xml", false},
        {"https://www.exa mple.com/sitemap.xml", false},
        {"https://www.exa\x01mple.com/", false},
        {"https://www.example.com/\x1b[2J", false},
        {"ftp://www.example.com/sitemap.xml", false},
    };
    for (const auto& v : values)
        EXPECT_EQ(!sitemapKeyProblem(v.sitemap).has_value(), v.good) << printable(v.sitemap);
    // The configuration refuses such hosts too.
    std::vector<std::string> warnings;
    for (const char* bad :
         {"[Google]\nTokenURL=https://ho st/token\n", "[IndexNow]\nEndpoints=https://a\x01b/in\n",
          "[Live]\nPerHost=0\n", "[Live]\nConnections=many\n", "[Sitemaps]\nMaxSeconds=-1\n"}) {
        Config config;
        EXPECT_THROW(config.apply(IniFile::parse(bad), "test.ini", warnings), LarkspanError) << bad;
    }
    Config config;
    config.apply(IniFile::parse("[Live]\nPerHost=2\nConnections=8\n[Sitemaps]\nMaxSeconds=30\n"), "test.ini",
                 warnings);
    EXPECT_EQ(config.livePerHost, 2);
    EXPECT_EQ(config.liveConnections, 8);
    EXPECT_EQ(config.sitemapMaxSeconds, 30);
    EXPECT_TRUE(warnings.empty());
}

TEST(LiveHostileSitemaps, AnIndexOfGzipBombsStopsAtTheProfilesBound) {
    // Each child inflates to far more than a sitemap may hold; the index lists 60 of them.
    TempDir root;
    const std::string bomb = gzipped("<urlset>" + std::string(60 << 20, ' '));
    PythonHttpServer server(root.str());
    ASSERT_NE(server.port(), 0);
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    std::string index = "<sitemapindex>";
    for (int i = 0; i < 60; ++i) {
        root.write("bomb" + std::to_string(i) + ".xml.gz", bomb);
        index += "<sitemap><loc>" + base + "/bomb" + std::to_string(i) + ".xml.gz</loc></sitemap>";
    }
    root.write("index.xml", index + "</sitemapindex>");
    const struct {
        SitemapBounds bounds;
        std::string problem;
    } cases[] = {
        {{1000, std::uint64_t{300} << 20, std::chrono::seconds(300), 4},
         "the sitemaps hold more than 314,572,800 bytes of XML in all"},
        {{1000, std::uint64_t{1} << 40, std::chrono::seconds(1), 4},
         "reading the sitemaps took longer than 1 seconds ([Sitemaps] MaxSeconds)"},
    };
    LiveClient client(liveClientSettings(Config{}));
    ClientSitemapSource web(client);
    for (const auto& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        const SiteSitemaps read = readSitemaps(base + "/", base + "/index.xml", web, c.bounds);
        SCOPED_TRACE(c.problem);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
        ASSERT_FALSE(read.problems.empty());
        EXPECT_EQ(read.problems.back(),
                  c.problem + "; what was read before is kept and nothing further is read");
        // Most children are never fetched.
        EXPECT_LT(read.filesRead, 20);
    }
    // A child that was read whole was cut at the protocol's size: no CPU went to the rest.
    const SiteSitemaps read = readSitemaps(base + "/", base + "/bomb0.xml.gz", web, {});
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_EQ(read.problems[0].find(base + "/bomb0.xml.gz: the document is larger than 52,428,800 bytes"), 0u)
        << read.problems[0];
}

} // namespace
