// The IndexNow channel: its rules on their own, then whole runs against the engine simulator's
// IndexNow endpoint over TLS on 127.0.0.1, which reads the key files and sitemaps of the site
// it serves from a folder of the test.
#include "core/indexnow/IndexNowChannel.h"

#include "core/Config.h"
#include "core/channels/LiveSite.h"
#include "core/run/HttpRunClient.h"
#include "core/run/RunSummary.h"
#include "core/run/SubmissionRun.h"
#include "core/sitemaps/SitemapReader.h"
#include "core/sitemaps/UrlTable.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreClaim.h"
#include "http/RetryAfter.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/Time.h"
#include "support/TestCertificates.h"
#include "tests/common/TempDir.h"

#include "tests/core/support/RunFakes.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

Url url(const std::string& text) {
    return Url::parse(text).value();
}

const std::string Key = "0123456789abcdef0123456789abcdef";

TEST(IndexNowRules, KeysHostsAndKeyLocations) {
    EXPECT_EQ(indexNowKeyProblem("abcd-EF9"), "");
    EXPECT_EQ(indexNowKeyProblem(std::string(128, 'a')), "");
    const std::string rule = "The IndexNow key must be 8 to 128 characters from a-z, A-Z, 0-9 and \"-\".";
    EXPECT_EQ(indexNowKeyProblem("abcdefg"), rule);
    EXPECT_EQ(indexNowKeyProblem(std::string(129, 'a')), rule);
    EXPECT_EQ(indexNowKeyProblem("abcd_efgh"), rule);
    const std::string generated = generateIndexNowKey();
    EXPECT_EQ(generated.size(), 32u);
    EXPECT_EQ(generated.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(generated, generateIndexNowKey());

    EXPECT_EQ(indexNowHost("https://WWW.Example.com:443/a"), "www.example.com");
    EXPECT_EQ(indexNowHost("http://www.example.com:443/a"), "www.example.com:443");
    // User information is no part of a site's URL: the URL type refuses it.
    EXPECT_EQ(indexNowHost("https://user@shop.example.com:8443"), "");
    // The key file lies on the site's origin, with its scheme.
    EXPECT_EQ(indexNowKeyFileUrl("www.example.com", Key, ""), "http://www.example.com/" + Key + ".txt");
    EXPECT_EQ(indexNowKeyFileUrl(url("https://www.example.com:8443/shop/"), Key, ""),
              "https://www.example.com:8443/" + Key + ".txt");
    EXPECT_EQ(indexNowKeyLocationProblem(url("https://www.example.com/"), "http://www.example.com/k.txt"),
              "The IndexNow key location must be the URL of a file on the site's origin "
              "https://www.example.com (such as https://www.example.com/keys/KEY.txt).");
    EXPECT_EQ(indexNowKeyLocationProblem("http://www.example.com/", "https://www.example.com/k/key.txt"), "");
    EXPECT_EQ(indexNowKeyLocationProblem("http://www.example.com/", "https://cdn.example.com/key.txt"),
              "The IndexNow key location must be the URL of a file on www.example.com (such as "
              "https://www.example.com/keys/KEY.txt).");
    EXPECT_NE(indexNowKeyLocationProblem("http://www.example.com/", "https://www.example.com/k/"), "");
}

TEST(IndexNowRules, TheListAndItsExactBody) {
    UrlTable sitemap;
    for (const char* url : {"https://www.example.com/shop/a\"b", "https://www.example.com/shop/c\\d",
                            "https://www.example.com/shop/caf\xC3\xA9", "https://www.example.com/about",
                            "https://other.example.com/shop/x", "https://www.example.com/shop/"})
        sitemap.insert(url, NoLastmod);
    const std::vector<std::size_t> all{0, 1, 2, 3, 4, 5};
    // The table holds each URL as its key: what no URL may hold as it stands is percent-encoded,
    // as the protocol asks of the URLs of a POST.

    // Without a key location the whole host counts; the profile URL comes first, once.
    IndexNowSubmission whole(url("https://www.example.com/shop/"), Key, "", sitemap, all);
    EXPECT_EQ(whole.host(), "www.example.com");
    EXPECT_EQ(whole.leftOut(), 1u);
    ASSERT_EQ(whole.batchCount(), 1u);
    EXPECT_EQ(whole.body(0),
              "{\"host\":\"www.example.com\",\"key\":\"" + Key +
                  "\",\"urlList\":[\"https://www.example.com/shop/\","
                  "\"https://www.example.com/shop/a%22b\",\"https://www.example.com/shop/c%5Cd\","
                  "\"https://www.example.com/shop/caf%C3%A9\",\"https://www.example.com/about\"]}");

    // A key location speaks for its folder only; a profile URL outside it is left out too.
    const std::string location = "https://www.example.com/shop/" + Key + ".txt";
    IndexNowSubmission shop(url("http://www.example.com/"), Key, location, sitemap, all);
    EXPECT_EQ(shop.leftOut(), 3u);
    EXPECT_EQ(shop.size(), 4u);
    EXPECT_EQ(shop.url(0), "https://www.example.com/shop/a%22b");
    EXPECT_NE(shop.body(0).find("\"keyLocation\":\"" + location + "\",\"urlList\":["), std::string::npos);

    // The folder is compared between keys: dot segments, encoded or not, leave it (the three
    // spellings of "/c" are one URL), and so does another port or scheme.
    UrlTable tricky;
    for (const char* u : {"https://www.example.com/k/../c", "https://www.example.com/k/%2e%2e/c",
                          "https://www.example.com/k/%2E%2E/c", "https://www.example.com/k/./ok",
                          "https://www.example.com:8443/k/a", "http://www.example.com/k/b",
                          "https://WWW.Example.com/k/upper"})
        tricky.insert(u, NoLastmod);
    IndexNowSubmission keyed(url("https://www.example.com/"), Key,
                             "https://www.example.com/k/" + Key + ".txt", tricky, {0, 1, 2, 3, 4});
    EXPECT_EQ(tricky.size(), 5u);
    EXPECT_EQ(keyed.size(), 2u);
    EXPECT_EQ(keyed.url(0), "https://www.example.com/k/ok");
    EXPECT_EQ(keyed.url(1), "https://www.example.com/k/upper");
    EXPECT_EQ(keyed.leftOut(), 4u); // three URLs and the site's URL
}

TEST(IndexNowRules, EndpointsComeFromTheConfiguration) {
    Config config;
    EXPECT_EQ(config.indexNowEndpoints, std::vector<std::string>{"https://api.indexnow.org/indexnow"});
    std::vector<std::string> warnings;
    config.apply(
        IniFile::parse("[IndexNow]\nEndpoints = https://www.bing.com/indexnow, http://127.0.0.1:8/in\n"),
        "test.ini", warnings);
    EXPECT_EQ(config.indexNowEndpoints,
              (std::vector<std::string>{"https://www.bing.com/indexnow", "http://127.0.0.1:8/in"}));
    EXPECT_TRUE(warnings.empty());
    try {
        config.apply(IniFile::parse("[IndexNow]\nEndpoints=https://www.bing.com/indexnow,,\n"), "test.ini",
                     warnings);
        ADD_FAILURE() << "an empty endpoint was taken";
    } catch (const LarkspanError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "test.ini: [IndexNow] Endpoints=https://www.bing.com/indexnow,,: a comma "
                  "list of http or https URLs is expected");
    }
}

// A site with a key, served by the simulator over TLS, and runs of its profile without the
// catalogue.
class IndexNowRunTest : public ::testing::Test {
protected:
    TempDir dir;
    Config config;
    FakeRunHost host{dir.file("profiles")};
    HttpRunClient client;
    std::unique_ptr<EngineSimulator> simulator;
    std::unique_ptr<SubmissionRun> run;
    std::string site; // "https://127.0.0.1:PORT"
    bool checkPages = false;

    void SetUp() override {
        if (!TestCertificates::get().error().empty()) GTEST_SKIP() << TestCertificates::get().error();
        std::filesystem::create_directories(dir / "profiles");
        std::filesystem::create_directories(dir / "sites" / "127.0.0.1");
    }
    void start(std::vector<std::string> options = {}, const std::vector<std::string>& rules = {},
               IndexNowSubmission::Scope scope = IndexNowSubmission::Scope::Enforced) {
        const TestCertificates& certs = TestCertificates::get();
        options.insert(options.end(), {"--sites", dir.file("sites")});
        simulator = std::make_unique<EngineSimulator>(
            rules, EngineSimulator::defaultScript(),
            EngineSimulator::Tls{certs.path("server.pem"), certs.key()}, options);
        site = "https://127.0.0.1:" + std::to_string(simulator->port());
        config.caFile = certs.ca();
        config.catalogue = false;
        config.indexNowEndpoints = {site + "/indexnow"};
        // These tests are about the sending; the page checks' own tests switch them on.
        config.checkPages = checkPages;
        run = std::make_unique<SubmissionRun>(host, client, config);
        run->Start();
        run->setProfileDirectory(dir.file("profiles"));
        run->addChannel(std::make_unique<IndexNowChannel>(scope));
    }
    void siteFile(const std::string& path, const std::string& content) {
        dir.write("sites/127.0.0.1/" + path, content);
    }
    // A sitemap of n pages, each with the lastmod given, and the profile that uses it.
    void sitemapOf(int pages, const std::string& lastmod = "2020-01-01", const std::string& extra = "") {
        std::string xml = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
        for (int i = 0; i < pages; ++i)
            xml += "<url><loc>" + site + "/p/" + std::to_string(i) + "</loc><lastmod>" + lastmod +
                   "</lastmod></url>";
        siteFile("sitemap.xml", xml + extra + "</urlset>");
    }
    // The profile announces every page on its first run, as these tests are about the sending.
    void profile(const std::string& title, const std::string& key = Key, const std::string& location = "",
                 const std::string& url = "") {
        host.store.save(completeProfile(title, url.empty() ? site + "/" : url),
                        {{IndexNowKeyKey, key},
                         {IndexNowKeyLocationKey, location},
                         {"Sitemap", site + "/sitemap.xml"},
                         {IndexNowFirstRunKey, "all"}});
    }
    void submit(const std::vector<std::string>& names = {"Garden"}) { run->Submit(names); }
    std::vector<EngineSimulator::Request> posts() const {
        std::vector<EngineSimulator::Request> result;
        for (const auto& r : simulator->requests())
            if (r.method == "POST") result.push_back(r);
        return result;
    }
    std::size_t accepted(const std::string& name = "Garden") const {
        SiteStore store = SiteStore::open(dir.file("profiles"));
        return static_cast<std::size_t>(store.acceptedCount(store.site(name), IndexNowChannelId));
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> r;
        for (int row = 1; row <= run->ResultCount(); ++row)
            r.push_back(host.grid.CellText(0, row) + " | " + host.grid.CellText(1, row));
        return r;
    }
};

TEST_F(IndexNowRunTest, AcceptedInBatchesOfTenThousandThenOnlyWhatChanged) {
    start();
    siteFile(Key + ".txt", Key + "\n");
    sitemapOf(25'001);
    profile("Garden");
    submit();

    const auto sent = posts();
    ASSERT_EQ(sent.size(), 3u);
    const std::vector<std::size_t> sizes{10'000, 10'000, 5'002};
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].path, "/indexnow");
        EXPECT_TRUE(sent[i].tls);
        EXPECT_NE(sent[i].raw.find("\r\nContent-Type: application/json; charset=utf-8\r\n"),
                  std::string::npos);
        EXPECT_EQ(std::count(sent[i].body.begin(), sent[i].body.end(), ','), sizes[i] + 1) << i;
    }
    EXPECT_EQ(sent[0].body.rfind("{\"host\":\"127.0.0.1:" + std::to_string(simulator->port()) +
                                     "\",\"key\":\"" + Key + "\",\"urlList\":[\"" + site + "/\",\"" + site +
                                     "/p/0\",",
                                 0),
              0u);
    EXPECT_EQ(rows(), std::vector<std::string>{"IndexNow (127.0.0.1) | Garden"});
    EXPECT_TRUE(host.log.empty()) << host.log.front();
    EXPECT_FALSE(run->liveRefused());
    EXPECT_EQ(accepted(), 25'002u);
    // The probe of the profile URL, robots.txt and the sitemap's GET are requests of the run,
    // which reads the site once for every channel.
    ASSERT_EQ(host.records.size(), 6u);
    EXPECT_EQ(host.records[1].url, site + "/robots.txt");
    for (int i : {0, 1, 2})
        EXPECT_EQ(host.records[i].engine, "Site");
    EXPECT_EQ(host.records[2].method, "GET");
    EXPECT_EQ(host.records[2].status, std::optional<int>(200));

    // Two pages changed and one is new: the next run sends them, and not the profile URL again.
    sitemapOf(25'001, "2020-01-01",
              "<url><loc>" + site + "/p/5</loc><lastmod>2099-01-01</lastmod></url><url><loc>" + site +
                  "/new</loc></url>");
    std::string xml = dir.read("sites/127.0.0.1/sitemap.xml");
    xml.replace(xml.find("/p/7</loc><lastmod>2020-01-01"), 29, "/p/7</loc><lastmod>2099-01-01");
    siteFile("sitemap.xml", xml);
    submit();
    ASSERT_EQ(posts().size(), 4u);
    EXPECT_EQ(posts()[3].body, "{\"host\":\"127.0.0.1:" + std::to_string(simulator->port()) +
                                   "\",\"key\":\"" + Key + "\",\"urlList\":[\"" + site + "/p/5\",\"" + site +
                                   "/p/7\",\"" + site + "/new\"]}");
    EXPECT_EQ(run->ResultCount(), 2);
}

// Each spelling of a sitemap's URL (scheme and host in capitals, a port with a leading zero,
// raw non-ASCII) is one page, announced in its RFC 3986 normal form.
TEST_F(IndexNowRunTest, SpellingsOfOnePageAreAnnouncedOnceInTheirNormalForm) {
    start();
    siteFile(Key + ".txt", Key + "\n");
    const std::string port = std::to_string(simulator->port());
    siteFile("sitemap.xml",
             "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><url><loc>HTTPS://127.0.0.1:0" +
                 port + "/a</loc></url><url><loc>" + site + "/caf\xC3\xA9</loc></url><url><loc>" + site +
                 "/a</loc></url></urlset>");
    profile("Garden");
    submit();
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_EQ(posts()[0].body, "{\"host\":\"127.0.0.1:" + port + "\",\"key\":\"" + Key +
                                   "\",\"urlList\":[\"" + site + "/\",\"" + site + "/a\",\"" + site +
                                   "/caf%C3%A9\"]}");
}

TEST_F(IndexNowRunTest, EachRefusalIsALogLineWithItsMeaningAndNoRow) {
    // 202 is accepted like 200; a key location in a folder speaks for that folder only.
    start({"--indexnow-accept", "202"});
    siteFile("p/" + Key + ".txt", Key);
    sitemapOf(2);
    profile("Garden", Key, site + "/p/" + Key + ".txt");
    submit();
    EXPECT_EQ(rows(), std::vector<std::string>{"IndexNow (127.0.0.1) | Garden"});
    EXPECT_EQ(
        host.log,
        (std::vector<std::string>{
            "IndexNow: 1 URL of Garden left out: not on " + site + " or outside the key location's folder",
            "IndexNow (127.0.0.1): 2 URLs of Garden received, key validation pending; the next "
            "run checks the key file first"}));
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_NE(posts()[0].body.find(",\"keyLocation\":\"" + site + "/p/" + Key + ".txt\",\"urlList\":[\"" +
                                   site + "/p/0\","),
              std::string::npos);
    EXPECT_FALSE(run->liveRefused());

    // The next run checks the key file before it posts, and says what it found.
    host.log.clear();
    siteFile("p/" + Key + ".txt", "");
    sitemapOf(2, "2099-01-01");
    submit();
    ASSERT_GE(host.log.size(), 2u) << ::testing::PrintToString(host.log);
    EXPECT_EQ(host.log[1],
              "IndexNow: the key of Garden is still pending validation, and the engines will refuse "
              "it: The key file " +
                  site + "/p/" + Key + ".txt is there but empty; it must hold the key.");

    // 403: the key file holds another key, then there is none.
    host.log.clear();
    const std::string other = "fedcba9876543210";
    profile("Wrong", other);
    siteFile(other + ".txt", Key);
    profile("Missing", "aaaaaaaaaaaaaaaa");
    submit({"Wrong", "Missing"});
    const std::string forbidden =
        ": 403 Forbidden (forbidden: key not valid (no key file, or the file does not "
        "hold the key)); 3 URLs stay pending";
    EXPECT_EQ(host.log,
              (std::vector<std::string>{"IndexNow (127.0.0.1) refused 3 URLs of Wrong" + forbidden,
                                        "IndexNow (127.0.0.1) refused 3 URLs of Missing" + forbidden}));
    EXPECT_TRUE(run->liveRefused());
    EXPECT_EQ(run->ResultCount(), 1);
    EXPECT_EQ(accepted("Wrong"), 0u);
}

TEST_F(IndexNowRunTest, ASiteThatCannotBeReadAnnouncesNothingSaysWhyAndIsAFailure) {
    struct Case {
        std::vector<std::string> rules;
        bool unreachableUrl;
        std::string cause; // its start
    };
    const std::vector<Case> cases{
        {{"/robots.txt=status:503"}, false, "robots.txt answered 503"},
        {{"/robots.txt=status:429"}, false, "robots.txt answered 429"},
        {{"/robots.txt=refuse"}, false, "robots.txt could not be fetched: "},
        {{"/sitemap.xml=refuse"}, false, "its sitemap could not be fetched ("},
        {{}, true, "https://127.0.0.1:1/ could not be reached ("},
        // Read again, the site is announced, and the Site Status forgets the failure.
        {{}, false, ""},
    };
    for (const Case& c : cases) {
        host.log.clear();
        start({}, c.rules);
        siteFile(Key + ".txt", Key + "\n");
        sitemapOf(3);
        profile("Garden", Key, "", c.unreachableUrl ? "https://127.0.0.1:1/" : "");
        submit();
        SiteStore store = SiteStore::openToRead(dir.file("profiles"));
        const std::optional<SiteStore::Unreadable> kept = store.unreadable(store.findSite("Garden"));
        if (c.cause.empty()) {
            EXPECT_EQ(posts().size(), 1u);
            EXPECT_FALSE(run->liveRefused());
            EXPECT_FALSE(kept.has_value());
            continue;
        }
        SCOPED_TRACE(c.cause);
        EXPECT_TRUE(posts().empty());
        EXPECT_TRUE(run->liveRefused());
        EXPECT_EQ(runEndStatus(run->tally()), "Done, 1 site could not be read: see below");
        ASSERT_FALSE(host.log.empty());
        EXPECT_EQ(host.log.back().rfind("Garden could not be read: " + c.cause, 0), 0u) << host.log.back();
        EXPECT_TRUE(host.log.back().ends_with("; nothing was announced")) << host.log.back();
        ASSERT_TRUE(kept.has_value());
        EXPECT_EQ(kept->cause.rfind(c.cause, 0), 0u);
        EXPECT_GT(kept->at, 0);
    }
}

TEST_F(IndexNowRunTest, ABadRequestIsRefused) {
    start({}, {"/indexnow=status:400"});
    siteFile(Key + ".txt", Key);
    sitemapOf(1);
    profile("Garden");
    submit();
    EXPECT_EQ(host.log,
              std::vector<std::string>{"IndexNow (127.0.0.1) refused 2 URLs of Garden: 400 Bad Request "
                                       "(bad request: invalid format); 2 URLs stay pending"});
    EXPECT_EQ(run->ResultCount(), 0);
}

TEST_F(IndexNowRunTest, TooManyRequestsPausesTheEndpointForTheRunOrUntilRetryAfter) {
    start({"--indexnow-429-after", "1"});
    siteFile(Key + ".txt", Key);
    sitemapOf(10'000);
    profile("Garden");
    profile("Herbs");
    // Mint's site is another host: the sitemap's URLs are not on its origin and are dropped as
    // they are read, so only its own address stays.
    profile("Mint", Key, "", "https://localhost:" + std::to_string(simulator->port()) + "/");
    submit({"Garden", "Herbs", "Mint"});
    // Garden's first POST is accepted, its second refused; Herbs and Mint are not sent at all.
    EXPECT_EQ(posts().size(), 2u);
    EXPECT_EQ(accepted("Garden"), 10'000u);
    EXPECT_EQ(rows(), std::vector<std::string>{"IndexNow (127.0.0.1) | Garden"});
    ASSERT_EQ(host.log.size(), 3u);
    EXPECT_EQ(host.log[2],
              "IndexNow (127.0.0.1): not called again in this run after 429 Too Many Requests; 1 URL "
              "of Mint stays pending");
    EXPECT_EQ(host.log[0],
              "IndexNow (127.0.0.1) refused 1 URL of Garden: 429 Too Many Requests (too many requests: "
              "seen as spam, slow down); 1 URL stays pending; no more submissions to 127.0.0.1 in this "
              "run");
    EXPECT_EQ(host.log[1],
              "IndexNow (127.0.0.1): not called again in this run after 429 Too Many Requests; 10001 URLs "
              "of Herbs stay pending");
    // Without Retry-After the next run tries again.
    submit({"Herbs"});
    EXPECT_EQ(posts().size(), 3u);

    simulator.reset();
    host.log.clear();
    start({"--indexnow-429-after", "1", "--indexnow-retry-after", "3600"});
    siteFile(Key + ".txt", Key);
    sitemapOf(10'000);
    profile("Herbs");
    submit({"Herbs"});
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_NE(host.log[0].find("; no more submissions to 127.0.0.1 in this run nor before 20"),
              std::string::npos);
    // A later run, even of a new program, keeps away until then.
    run = std::make_unique<SubmissionRun>(host, client, config);
    run->setProfileDirectory(dir.file("profiles"));
    run->addChannel(std::make_unique<IndexNowChannel>());
    submit({"Herbs"});
    EXPECT_EQ(posts().size(), 2u);
    ASSERT_EQ(host.log.size(), 2u);
    EXPECT_EQ(host.log[1].rfind("IndexNow (127.0.0.1): not called before 20", 0), 0u) << host.log[1];
}

TEST_F(IndexNowRunTest, AStoppedRunKeepsWhatWasAcceptedAndMarksNothingElse) {
    start({}, {"/indexnow=delay:600"});
    siteFile(Key + ".txt", Key);
    sitemapOf(25'001);
    profile("Garden");
    // Stop comes while the second POST is held by the endpoint, once it has arrived there (on a
    // busy machine a fixed time may be too short for the POST to arrive).
    int submissions = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (posts().size() < 2) return;
        poll.stop();
        run->StopButtonClick();
    });
    host.onLabel = [&](const std::string& label) {
        if (label.find("to IndexNow (127.0.0.1)") != std::string::npos && ++submissions == 2) poll.start();
    };
    submit();
    // The second POST was on its way when Stop came (whether the endpoint had read it yet
    // depends on the machine); the third never went.
    EXPECT_GE(posts().size(), 1u);
    EXPECT_LE(posts().size(), 2u);
    EXPECT_EQ(accepted(), 10'000u);
    SiteStore store = SiteStore::open(dir.file("profiles"));
    const StoreSite garden = store.site("Garden");
    EXPECT_TRUE(store.acceptedAt(garden, IndexNowChannelId, site + "/p/9998"));
    EXPECT_FALSE(store.acceptedAt(garden, IndexNowChannelId, site + "/p/9999"));
    EXPECT_EQ(host.records.back().outcome, RequestRecord::Outcome::Stopped);
    EXPECT_FALSE(run->liveRefused());
}

TEST_F(IndexNowRunTest, TheFirstRunSendsTheProfileUrlAndTheLast48HoursAndRecordsTheRest) {
    start();
    siteFile(Key + ".txt", Key);
    sitemapOf(3, "2020-01-01",
              "<url><loc>" + site + "/fresh</loc><lastmod>" + formatUtc(std::time(nullptr) - 3600) +
                  "</lastmod></url>");
    host.store.save(completeProfile("Garden", site + "/"),
                    {{IndexNowKeyKey, Key}, {"Sitemap", site + "/sitemap.xml"}});
    submit();
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_NE(posts()[0].body.find("\"urlList\":[\"" + site + "/\",\"" + site + "/fresh\"]}"),
              std::string::npos)
        << posts()[0].body;
    EXPECT_EQ(host.log,
              std::vector<std::string>{"IndexNow: first run for Garden: 3 URLs recorded as known without "
                                       "being sent; only the profile URL and pages changed in the last 48 "
                                       "hours are announced"});
    // Nothing changed since: the next run sends nothing at all.
    submit();
    EXPECT_EQ(posts().size(), 1u);
}

// A first run that could not read the sitemap sends the profile URL and is no baseline: the run
// that reads it is the first run, and sends only the last 48 hours, not every page.
TEST_F(IndexNowRunTest, AFirstRunWithoutItsSitemapIsNoBaseline) {
    start();
    siteFile(Key + ".txt", Key);
    host.store.save(completeProfile("Garden", site + "/"),
                    {{IndexNowKeyKey, Key}, {"Sitemap", site + "/sitemap.xml"}});
    submit();
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_NE(posts()[0].body.find("\"urlList\":[\"" + site + "/\"]}"), std::string::npos) << posts()[0].body;
    const auto logged = [this](const std::string& line) {
        return std::find(host.log.begin(), host.log.end(), line) != host.log.end();
    };
    EXPECT_TRUE(logged(
        "IndexNow: the sitemaps of Garden could not all be read, so the next run is a first run again"));
    sitemapOf(3, "2020-01-01",
              "<url><loc>" + site + "/fresh</loc><lastmod>" + formatUtc(std::time(nullptr) - 3600) +
                  "</lastmod></url>");
    host.log.clear();
    submit();
    ASSERT_EQ(posts().size(), 2u);
    EXPECT_NE(posts()[1].body.find("\"urlList\":[\"" + site + "/fresh\"]}"), std::string::npos)
        << posts()[1].body;
    EXPECT_TRUE(
        logged("IndexNow: first run for Garden: 3 URLs recorded as known without being sent; only the "
               "profile URL and pages changed in the last 48 hours are announced"));
}

TEST_F(IndexNowRunTest, ASiteThatAnotherProcessAnnouncesIsLeftAfterTheWait) {
    config.storeWaitSeconds = 1;
    start();
    siteFile(Key + ".txt", Key);
    sitemapOf(2);
    profile("Garden");
    SiteStore::open(dir.file("profiles")).site("Garden");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        SiteStore store = SiteStore::open(dir.file("profiles"));
        const StoreSite site = store.site("Garden");
        SiteClaim claim(store, site, 0);
        const char c = 1;
        if (::write(ready[1], &c, 1) == 1) ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    submit();
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(posts().empty());
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0].rfind("The live channels of Garden are held by "
                                "process " +
                                    std::to_string(holder) + " since ",
                                0),
              0u)
        << host.log[0];
    EXPECT_TRUE(run->liveRefused());
    // Gone, it holds nothing: the next run announces the site.
    submit();
    EXPECT_EQ(posts().size(), 1u);
}

TEST_F(IndexNowRunTest, TheKeyFileCheckSaysWhatItFound) {
    start();
    siteFile(Key + ".txt", Key + "\r\n");
    siteFile("keys/other.txt", "something else");
    LiveClient client(liveClientSettings(config));
    ClientSitemapSource web(client);
    const KeyFileCheck good = checkIndexNowKeyFile(web, url(site + "/"), Key, "");
    EXPECT_TRUE(good.holdsKey);
    EXPECT_EQ(good.message, "The key file " + site + "/" + Key + ".txt is there and holds the key.");
    const KeyFileCheck wrong = checkIndexNowKeyFile(web, url(site + "/"), Key, site + "/keys/other.txt");
    EXPECT_FALSE(wrong.holdsKey);
    EXPECT_EQ(wrong.message,
              "The key file " + site + "/keys/other.txt is there but does not hold the key " + Key + ".");
    const KeyFileCheck missing = checkIndexNowKeyFile(web, url(site + "/"), "abcdefgh", "");
    EXPECT_FALSE(missing.holdsKey);
    EXPECT_EQ(missing.message,
              "The key file " + site + "/abcdefgh.txt cannot be read: the server answered with status 404.");

    EXPECT_EQ(saveIndexNowKeyFile(dir.str(), Key), dir.file(Key + ".txt"));
    EXPECT_EQ(dir.read(Key + ".txt"), Key);
}

// The pages of a site with one page for each verdict (and a site that always asks to wait).
const std::string Page =
    "<!DOCTYPE html><html><head><title>t</title>%s</head><body><p>text</p></body></html>";

std::string page(const std::string& head = "") {
    std::string html = Page;
    return html.replace(html.find("%s"), 2, head);
}

// The URL lists of the run's POSTs, one string each.
std::vector<std::string> urlLists(const std::vector<EngineSimulator::Request>& posts) {
    std::vector<std::string> lists;
    for (const auto& post : posts)
        lists.push_back(post.body.substr(post.body.find("\"urlList\":")));
    return lists;
}

TEST_F(IndexNowRunTest, OnlyPagesThatBingbotWouldIndexAreAnnouncedAndTheOthersStayPending) {
    checkPages = true;
    start();
    siteFile(Key + ".txt", Key + "\n");
    siteFile("index.html", page());
    siteFile("robots.txt", "User-agent: bingbot\nDisallow: /staff/\n");
    for (const char* name : {"ok.html", "gone.html", "moved.html", "header.html", "google-only.html",
                             "staff/rota.html", "busy.html"})
        siteFile(name, page());
    siteFile("canonical.html", page("<link rel=\"canonical\" href=\"/ok.html\">"));
    siteFile(".answers.json", R"({"/gone.html": {"status": 410},
        "/moved.html": {"status": 301, "headers": [["Location", "/ok.html"]]},
        "/header.html": {"headers": [["X-Robots-Tag", "bingbot: noindex"]]},
        "/google-only.html": {"headers": [["X-Robots-Tag", "googlebot: noindex"]]},
        "/busy.html": {"status": 429, "headers": [["Retry-After", "1"]]}})");
    std::string xml = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const char* name : {"ok.html", "missing.html", "gone.html", "moved.html", "header.html",
                             "google-only.html", "staff/rota.html", "canonical.html", "busy.html"})
        xml += "<url><loc>" + site + "/" + name + "</loc></url>";
    siteFile("sitemap.xml", xml + "</urlset>");
    profile("Garden");

    const auto started = std::chrono::steady_clock::now();
    submit();
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(urlLists(posts()), std::vector<std::string>{"\"urlList\":[\"" + site + "/\",\"" + site +
                                                          "/ok.html\",\"" + site + "/google-only.html\"]}"});
    const std::string counts =
        "IndexNow: page checks of Garden (bingbot's rules): 3 ok, 1 redirect, 1 not-found, "
        "1 gone, 1 error, 1 noindex, 1 canonical-elsewhere, 1 blocked; 7 pages that are "
        "not ok stay unannounced";
    EXPECT_NE(std::find(host.log.begin(), host.log.end(), counts), host.log.end());
    // The checks are records of the run; a 429 paused them by its Retry-After, three times, and
    // the page then counts as an error.
    const auto checks = std::count_if(host.records.begin(), host.records.end(),
                                      [](const RequestRecord& r) { return r.engine == "Page check"; });
    // Ten pages, the redirect's second hop and three more asks of the busy page; robots.txt is
    // the one the run read for the site.
    EXPECT_EQ(checks, 10 + 1 + 3);
    const auto requests = simulator->requests();
    const auto busy =
        std::count_if(requests.begin(), requests.end(), [](const auto& r) { return r.path == "/busy.html"; });
    EXPECT_EQ(busy, 4);
    EXPECT_GE(took, std::chrono::seconds{3});
    EXPECT_EQ(accepted(), 3u);

    // The site mended its pages but the canonical link and robots.txt: the next run announces
    // those that stayed unannounced and are ok now.
    siteFile("missing.html", page());
    siteFile(".answers.json", "{}");
    submit();
    const std::vector<std::string> names{"missing", "gone", "moved", "header", "busy"};
    std::string list = "\"urlList\":[";
    for (const std::string& name : names)
        list += std::string(name == "missing" ? "" : ",") + "\"" + site + "/" + name + ".html\"";
    ASSERT_EQ(posts().size(), 2u);
    EXPECT_EQ(urlLists(posts())[1], list + "]}");
}

TEST_F(IndexNowRunTest, APageThatLeftTheSitemapIsAnnouncedOnceWhenGoneAndNamedWhenStillServed) {
    checkPages = true;
    start();
    siteFile(Key + ".txt", Key + "\n");
    siteFile("index.html", page());
    const auto sitemap = [&](const std::vector<std::string>& names) {
        std::string xml = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
        for (const std::string& name : names) {
            siteFile(name, page());
            xml += "<url><loc>" + site + "/" + name + "</loc></url>";
        }
        siteFile("sitemap.xml", xml + "</urlset>");
    };
    sitemap({"a.html", "b.html", "c.html"});
    profile("Garden");
    submit();
    ASSERT_EQ(posts().size(), 1u);

    // The store keeps times in seconds: the pages leave at a later second than they were checked.
    std::this_thread::sleep_for(std::chrono::milliseconds{1100});
    // b.html leaves the sitemap and is deleted; c.html leaves it but is still served.
    sitemap({"a.html"});
    std::filesystem::remove(dir / "sites" / "127.0.0.1" / "b.html");
    struct Run {
        std::size_t posts;
        std::string lastList;
        bool named;
    };
    const std::vector<Run> runs = {
        {2, "\"urlList\":[\"" + site + "/b.html\"]}", true},
        // Announced once: the next run neither sends it nor names the served page again.
        {2, "\"urlList\":[\"" + site + "/b.html\"]}", false},
    };
    const std::vector<std::string> lines = {
        "IndexNow: 1 page that left the sitemaps of Garden answers 404 or 410 and is announced as gone",
        "IndexNow: " + site + "/c.html is served but no longer in the sitemap"};
    for (const Run& r : runs) {
        host.log.clear();
        submit();
        ASSERT_EQ(posts().size(), r.posts);
        EXPECT_EQ(urlLists(posts()).back(), r.lastList);
        for (const std::string& line : lines)
            EXPECT_EQ(std::find(host.log.begin(), host.log.end(), line) != host.log.end(), r.named) << line;
    }
}

} // namespace

// A robots.txt that did not change since the last run is asked for with its ETag, answered 304,
// and its rules come from the copy the store kept: bingbot's disallowed page stays unannounced.
TEST_F(IndexNowRunTest, AnUnchangedRobotsTxtIsRevalidatedAndItsRulesReused) {
    checkPages = true;
    start();
    siteFile(Key + ".txt", Key + "\n");
    siteFile(".answers.json", R"({"validators": true})");
    siteFile("robots.txt", "User-agent: bingbot\nDisallow: /staff/\n");
    for (const char* name : {"index.html", "ok.html", "new.html", "staff/rota.html"})
        siteFile(name, page());
    const auto sitemap = [this](std::vector<std::string> names) {
        std::string xml = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
        for (const std::string& name : names)
            xml += "<url><loc>" + site + "/" + name + "</loc></url>";
        siteFile("sitemap.xml", xml + "</urlset>");
    };
    sitemap({"ok.html"});
    profile("Garden");
    submit();
    sitemap({"ok.html", "new.html", "staff/rota.html"});
    submit();
    std::vector<std::optional<int>> robots;
    for (const RequestRecord& r : host.records)
        if (r.url == site + "/robots.txt") robots.push_back(r.status);
    EXPECT_EQ(robots, (std::vector<std::optional<int>>{200, 304}));
    ASSERT_EQ(urlLists(posts()).size(), 2u);
    EXPECT_EQ(urlLists(posts())[1], "\"urlList\":[\"" + site + "/new.html\"]}");
}
