// The Search Console channel in a run through the program's HTTP client, against the engine
// simulator playing Google's token endpoint and sitemaps API over TLS on loopback.
#include "core/google/SearchConsoleChannel.h"

#include "core/Config.h"
#include "core/run/HttpRunClient.h"
#include "core/run/LiveChannels.h"
#include "core/run/SubmissionRun.h"
#include "core/store/StoreStatus.h"
#include "http/Url.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "support/TestCertificates.h"
#include "tests/common/PythonHttpServer.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/DemoCertificates.h"
#include "tests/core/support/RunFakes.h"
#include "tests/core/support/RunTestSupport.h"
#include "tests/core/support/StoreFixture.h"
#include "tools/simulator/EngineSimulator.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

constexpr const char* Account = "larkspan@example-project.iam.gserviceaccount.com";
constexpr const char* Engine = "Google Search Console";

class SearchConsoleTest : public ::testing::Test {
protected:
    const TestCertificates& certs = TestCertificates::get();
    TempDir dir;
    Config config;
    FakeRunHost host{dir.str()};
    HttpRunClient client;
    std::unique_ptr<EngineSimulator> simulator;
    std::unique_ptr<SubmissionRun> run;

    void SetUp() override {
        ASSERT_EQ(certs.error(), "");
        ASSERT_NE(demoCertificates(), "");
        writeKeyFile("account.json", readFile(certs.path("account.key")));
    }

    // A key file of the account as Google Cloud issues it, readable by its owner only.
    void writeKeyFile(const std::string& name, const std::string& pem, const std::string& email = Account) {
        writeRaw(name, "{\n  \"type\": \"service_account\",\n  \"project_id\": \"example-project\",\n"
                       "  \"private_key_id\": \"4f1c0ffee\",\n  \"private_key\": \"" +
                           replaceAll(pem, "\n", "\\n") + "\",\n  \"client_email\": \"" + email +
                           "\",\n  \"token_uri\": \"https://oauth2.googleapis.com/token\"\n}\n");
    }
    void writeRaw(const std::string& name, const std::string& text) {
        dir.write(name, text);
        std::filesystem::permissions(dir / name, std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_write);
    }

    // The simulator knows the account, and the properties of example.com: the site and the
    // domain are the account's, other.example is somebody else's.
    void start(const std::vector<std::string>& options = {}, const std::vector<std::string>& rules = {}) {
        std::vector<std::string> all{
            "--google-account",  dir.file("account.json"),
            "--google-property", "https://www.example.com/=" + std::string(Account),
            "--google-property", "sc-domain:example.com=" + std::string(Account),
            "--google-property", "https://other.example/=someone@else.iam.gserviceaccount.com",
            "--sites",           dir.file("sites")};
        all.insert(all.end(), options.begin(), options.end());
        // The site www.example.com, whose sitemap must be readable to be submitted.
        dir.write("sites/www.example.com/sitemap.xml",
                  "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><url><loc>"
                  "https://www.example.com/a</loc></url></urlset>");
        simulator = std::make_unique<EngineSimulator>(
            rules, EngineSimulator::defaultScript(),
            EngineSimulator::Tls{demoCertificates() + "/server.pem", demoCertificates() + "/server.key"},
            all);
        const std::string base = "https://127.0.0.1:" + std::to_string(simulator->port());
        config.catalogue = false;
        config.caFile = demoCertificates() + "/ca.pem";
        config.googleTokenUrl = base + "/token";
        config.googleApiBase = base;
        config.googleInspectionBase = base;
        // Every live request goes through the simulator, which plays the site and Google.
        config.proxy = simulator->address();
        run = std::make_unique<SubmissionRun>(host, client, config);
        run->Start();
        run->setProfileDirectory(dir.str());
        addLiveChannels(*run);
    }
    void addProfile(const std::string& title, const ProfileExtras& extras,
                    const std::string& url = "https://www.example.com/") {
        ProfileExtras all{{GoogleServiceAccountKey, "account.json"},
                          {"Sitemap", "https://www.example.com/sitemap.xml"}};
        for (const auto& [key, value] : extras)
            for (auto& [k, v] : all)
                if (k == key) v = value;
        for (const auto& extra : extras)
            if (extra.first != GoogleServiceAccountKey && extra.first != "Sitemap") all.push_back(extra);
        host.store.save(completeProfile(title, url), all);
    }
    std::vector<EngineSimulator::Request> received(const std::string& method) const {
        std::vector<EngineSimulator::Request> out;
        for (const auto& r : simulator->requests())
            if (r.method == method) out.push_back(r);
        return out;
    }
    std::vector<std::pair<std::string, std::string>> rows() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (int row = 1; row <= run->ResultCount(); ++row)
            out.emplace_back(host.grid.CellText(0, row), host.grid.CellText(1, row));
        return out;
    }
};

TEST_F(SearchConsoleTest, SubmitsEachSitemapWithOneSignedTokenForTheWholeRun) {
    // Each sitemap is read before it is submitted: the simulator serves them all.
    const std::string set = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"></urlset>";
    dir.write("sites/127.0.0.1/robots.txt", "User-agent: *\nSitemap: /a.xml\nsitemap: /b.xml\n");
    dir.write("sites/127.0.0.1/a.xml", set);
    dir.write("sites/127.0.0.1/b.xml", set);
    dir.write("sites/www.example.org/index.xml", "<sitemapindex></sitemapindex>");
    const std::string meadow = "http://127.0.0.1";
    start();
    addProfile("Garden", {});
    addProfile("Orchard", {{SearchConsolePropertyKey, "sc-domain:example.com"},
                           {"Sitemap", "https://www.example.org/index.xml"}});
    // No Sitemap key: robots.txt names the sitemaps.
    addProfile("Meadow", {{"Sitemap", ""}, {SearchConsolePropertyKey, "https://www.example.com/"}},
               meadow + "/");
    run->Submit({"Garden", "Orchard", "Meadow"});

    EXPECT_TRUE(host.log.empty()) << host.log.front();
    EXPECT_FALSE(run->liveRefused());
    EXPECT_EQ(rows(), (std::vector<std::pair<std::string, std::string>>{
                          {Engine, "Garden"}, {Engine, "Meadow"}, {Engine, "Meadow"}, {Engine, "Orchard"}}));

    // The simulator took the token request only after checking the JWT's signature and claims.
    const auto tokens = received("POST");
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_TRUE(tokens[0].tls);
    EXPECT_EQ(tokens[0].body.rfind("grant_type=urn:ietf:params:oauth:grant-type:jwt-bearer&assertion=ey", 0),
              0u);
    EXPECT_EQ(tokens[0].raw.find("Content-type"), std::string::npos) << tokens[0].raw;
    EXPECT_NE(tokens[0].raw.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    const auto puts = received("PUT");
    ASSERT_EQ(puts.size(), 4u);
    EXPECT_EQ(puts[0].target, "/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/sitemaps/"
                              "https%3A%2F%2Fwww.example.com%2Fsitemap.xml");
    EXPECT_EQ(
        puts[1].target,
        "/webmasters/v3/sites/sc-domain%3Aexample.com/sitemaps/https%3A%2F%2Fwww.example.org%2Findex.xml");
    EXPECT_EQ(puts[2].target, "/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/sitemaps/" +
                                  percentEncodeSegment(meadow + "/a.xml"));
    EXPECT_EQ(puts[3].target, "/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/sitemaps/" +
                                  percentEncodeSegment(meadow + "/b.xml"));
    for (const auto& put : puts) {
        EXPECT_NE(put.raw.find("\r\nAuthorization: Bearer ya29.sim-"), std::string::npos) << put.raw;
        EXPECT_NE(put.raw.find("\r\nContent-Length: 0\r\n"), std::string::npos) << put.raw;
        EXPECT_EQ(put.raw.find("Content-Type"), std::string::npos) << put.raw;
        EXPECT_EQ(put.body, "");
    }

    // Every request is a record of the run (the probe of the site, robots.txt and each sitemap
    // too); the token is in none of them.
    std::vector<std::string> methods;
    for (const RequestRecord& record : host.records) {
        methods.push_back(record.engine == Engine ? record.method : record.engine);
        EXPECT_EQ(record.url.find("ya29"), std::string::npos);
    }
    // After its sitemaps, each profile's property lists its sitemaps (GET) for the Site Status.
    // The site is read once for every channel: robots.txt and the sitemaps as engine "Site".
    EXPECT_EQ(methods,
              (std::vector<std::string>{"Site", "Site", "Site", "POST", "PUT", "GET", "Site", "Site", "Site",
                                        "PUT", "GET", "Site", "Site", "Site", "Site", "PUT", "PUT", "GET"}));
    EXPECT_EQ(host.records[12].url, meadow + "/robots.txt");
}

TEST_F(SearchConsoleTest, InspectsThePagesAfterTheSitemapsAndKeepsEveryFieldGoogleSent) {
    config.checkPages = false;
    const std::string a = "https://www.example.com/a";
    const std::string b = "https://www.example.com/b";
    start({"--google-inspection", a + "=indexed", "--google-inspection", b + "=crawled"});
    // A profile with Google alone: its run records the sitemap's pages, which are inspected.
    dir.write("sites/www.example.com/sitemap.xml",
              "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
              "<url><loc>" +
                  a + "</loc></url><url><loc>" + b + "</loc></url></urlset>");
    addProfile("Garden", {});
    run->Submit({"Garden"});
    EXPECT_EQ(host.log,
              std::vector<std::string>{std::string(Engine) +
                                       ": inspected 2 URLs of https://www.example.com/: 1 indexed; 2 of "
                                       "the day's 2,000 inspections used"});
    const auto posts = received("POST");
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts[1].target, "/v1/urlInspection/index:inspect");
    EXPECT_EQ(posts[1].body, "{\"inspectionUrl\":\"" + a + "\",\"siteUrl\":\"https://www.example.com/\"}");
    EXPECT_NE(posts[1].raw.find("\r\nContent-Type: application/json\r\n"), std::string::npos);
    EXPECT_NE(posts[1].raw.find("\r\nAuthorization: Bearer ya29.sim-"), std::string::npos);

    const SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.findSite("Garden");
    const auto indexed = storedInspection(store, site, a);
    ASSERT_TRUE(indexed);
    const InspectionResult& r = indexed->result;
    EXPECT_EQ(indexed->property, "https://www.example.com/");
    EXPECT_EQ(std::vector<std::string>({r.verdict, r.coverageState, r.indexingState, r.robotsTxtState,
                                        r.pageFetchState, r.googleCanonical, r.userCanonical}),
              std::vector<std::string>(
                  {"PASS", "Submitted and indexed", "INDEXING_ALLOWED", "ALLOWED", "SUCCESSFUL", a, a}));
    EXPECT_TRUE(lastCrawlSeconds(r).has_value()) << r.lastCrawlTime;
    EXPECT_TRUE(r.crawledAs == "MOBILE" || r.crawledAs == "DESKTOP") << r.crawledAs;
    EXPECT_EQ(r.inspectionResultLink.rfind("https://search.google.com/search-console/inspect?", 0), 0u);
    EXPECT_EQ(storedInspection(store, site, b)->result.coverageState, "Crawled - currently not indexed");
    const auto sitemaps = storedSitemapStatuses(store, site);
    ASSERT_EQ(sitemaps.size(), 1u);
    EXPECT_EQ(sitemaps[0].status.path, "https://www.example.com/sitemap.xml");
    EXPECT_FALSE(sitemaps[0].status.lastSubmitted.empty());

    // Google asked for a pause of the sitemaps: they stay unsubmitted, the pages are inspected.
    {
        SiteStore paused = SiteStore::open(dir.str());
        paused.setPause(paused.site("Orchard"), SearchConsoleChannelId, config.googleApiBase,
                        unixNow() + 3600);
    }
    addProfile("Orchard", {});
    const std::size_t puts = received("PUT").size();
    run->Submit({"Orchard"});
    EXPECT_EQ(received("PUT").size(), puts);
    EXPECT_EQ(received("POST").size(), 5u);
    EXPECT_EQ(
        host.log.back().rfind(std::string(Engine) + ": inspected 2 URLs of https://www.example.com/", 0), 0u)
        << host.log.back();
}

TEST_F(SearchConsoleTest, RefusalsOfTheTokenEndpointAndTheApiAreLoggedWithoutARow) {
    start();
    // The same account and key id, but signed with a key Google does not know.
    writeKeyFile("stolen.json", readFile(certs.path("other-account.key")));
    addProfile("Stolen", {{GoogleServiceAccountKey, "stolen.json"}});
    addProfile("Foreign", {{SearchConsolePropertyKey, "https://other.example/"}});
    addProfile("Unknown", {{SearchConsolePropertyKey, "https://unknown.example/"}});
    addProfile("Plain", {{GoogleServiceAccountKey, ""}});
    run->Submit({"Stolen", "Foreign", "Unknown", "Plain"});

    EXPECT_EQ(run->ResultCount(), 0);
    EXPECT_TRUE(run->liveRefused());
    const std::string feed = "https://www.example.com/sitemap.xml";
    EXPECT_EQ(
        host.log,
        (std::vector<std::string>{
            std::string(Engine) + ": no token for " + Account +
                ": 400 Bad Request, invalid_grant: Invalid JWT Signature.",
            std::string(Engine) + ": the sitemap " + feed +
                " of https://other.example/ was not taken: 403 Forbidden, the service account is not a user "
                "of the property: User does not have sufficient permission for site "
                "'https://other.example/'. See also: https://support.google.com/webmasters/answer/2451999. "
                "The property is \"https://other.example/\": a URL-prefix property "
                "(https://www.example.com/) and "
                "a domain property (sc-domain:example.com) are different properties, and the service account "
                "must be a user of this one",
            // A refused sitemap holds nothing else back: the site's pages lie outside the
            // property, and its list of sitemaps says why it is refused.
            std::string(Engine) + ": 1 URLs of the sitemaps lie outside the property https://other.example/ "
                                  "and are not inspected",
            std::string(Engine) +
                ": the sitemaps of https://other.example/: 403 Forbidden, the service "
                "account has no access to the URL-prefix property https://other.example/; add " +
                Account +
                " as a user of https://other.example/ in Search Console (a URL-prefix property, "
                "https://www.example.com/, and a domain property, sc-domain:example.com, are different "
                "properties): User does not have sufficient permission for site 'https://other.example/'. "
                "See "
                "also: https://support.google.com/webmasters/answer/2451999.",
            std::string(Engine) + ": the sitemap " + feed +
                " of https://unknown.example/ was not taken: 404 Not Found, the property is unknown: Site "
                "'https://unknown.example/' is not a Search Console property.",
            std::string(Engine) +
                ": 1 URLs of the sitemaps lie outside the property https://unknown.example/ "
                "and are not inspected",
            std::string(Engine) +
                ": the sitemaps of https://unknown.example/: 404 Not Found, the property "
                "https://unknown.example/ is unknown: Site 'https://unknown.example/' is not a "
                "Search Console property."}));
    // The stolen key got no token, so nothing was submitted with it; a profile without an
    // account is not announced to Google at all.
    EXPECT_EQ(received("POST").size(), 2u);
    EXPECT_EQ(received("PUT").size(), 2u);
}

TEST_F(SearchConsoleTest, ALineNeverQuotesATokenOrAnAssertionThatGoogleEchoed) {
    // Google's errors quote the Authorization line or the assertion they got.
    start({"--google-echo-credentials"});
    writeKeyFile("stolen.json", readFile(certs.path("other-account.key")));
    addProfile("Stolen", {{GoogleServiceAccountKey, "stolen.json"}});
    addProfile("Foreign", {{SearchConsolePropertyKey, "https://other.example/"}});
    run->Submit({"Stolen", "Foreign"});

    // The sitemap's refusal, then the list's.
    ASSERT_EQ(host.log.size(), 4u);
    EXPECT_EQ(host.log[0],
              std::string(Engine) + ": no token for " + Account +
                  ": 400 Bad Request, invalid_grant: The request said: assertion=[assertion]. Invalid "
                  "JWT Signature.");
    EXPECT_NE(host.log[1].find("the property: The request said: Bearer [token] User does not"),
              std::string::npos)
        << host.log[1];
    for (const std::string& line : host.log) {
        EXPECT_EQ(line.find("ya29."), std::string::npos) << line;
        EXPECT_EQ(line.find("eyJ"), std::string::npos) << line;
    }
}

TEST_F(SearchConsoleTest, ATokenGoogleNoLongerTakesIsRenewedOnceAndTheSitemapSentAgain) {
    // Each token serves one request, as if it were revoked after it.
    start({"--google-token-uses", "1"});
    addProfile("Garden", {});
    addProfile("Orchard", {});
    run->Submit({"Garden", "Orchard"});
    EXPECT_TRUE(host.log.empty()) << host.log.front();
    EXPECT_EQ(rows(),
              (std::vector<std::pair<std::string, std::string>>{{Engine, "Garden"}, {Engine, "Orchard"}}));
    // Orchard's PUT, and each profile's list of its sitemaps after the PUTs, renew the token.
    EXPECT_EQ(received("POST").size(), 4u);
    EXPECT_EQ(received("PUT").size(), 3u);

    // Tokens that are dead on arrival: one renewal, then the 401 is the answer.
    host.log.clear();
    start({"--google-token-lifetime", "0"});
    addProfile("Garden", {});
    run->Submit({"Garden"});
    EXPECT_EQ(run->ResultCount(), 0);
    EXPECT_EQ(
        host.log,
        (std::vector<std::string>{
            std::string(Engine) +
                ": the sitemap https://www.example.com/sitemap.xml of https://www.example.com/ was not "
                "taken: 401 Unauthorized, the token is bad or expired: Request had invalid authentication "
                "credentials. Expected OAuth 2 access token, login cookie or other valid authentication "
                "credential.",
            std::string(Engine) +
                ": the sitemaps of https://www.example.com/: 401 Unauthorized, the token is bad or expired: "
                "Request had invalid authentication credentials. Expected OAuth 2 access token, login "
                "cookie or other valid authentication credential."}));
    // The sitemap's refusal holds the list of sitemaps back no more; it renews its token too.
    EXPECT_EQ(received("POST").size(), 4u);
    EXPECT_EQ(received("PUT").size(), 2u);
}

TEST_F(SearchConsoleTest, StopDuringTheTokenRequestEndsTheRunWithoutARefusal) {
    start({}, {"/token=delay:5000"});
    addProfile("Garden", {});
    QTimer::singleShot(300, [&] { run->StopButtonClick(); });
    QElapsedTimer clock;
    clock.start();
    run->Submit({"Garden"});
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(host.log.empty()) << host.log.front();
    EXPECT_FALSE(run->liveRefused());
    EXPECT_TRUE(received("PUT").empty());
    ASSERT_FALSE(host.records.empty());
    EXPECT_EQ(host.records.back().outcome, RequestRecord::Outcome::Stopped);
}

TEST_F(SearchConsoleTest, KeyFilesThatCannotServeAreRefusedBeforeAnythingIsSent) {
    start();
    const std::string pem = readFile(certs.path("account.key"));
    // The line breaks of the PEM text as they are, not escaped: JSON does not allow them.
    writeRaw("broken.json", "{\"private_key\": \"" + pem + "\"}");
    writeRaw("noemail.json",
             "{\"private_key\": \"x\", \"private_key_id\": \"k\", \"token_uri\": \"https://t/\"}");
    writeKeyFile("ec.json", readFile(certs.key()));
    const std::vector<std::pair<std::string, std::string>> profiles{{"Broken", "broken.json"},
                                                                    {"NoEmail", "noemail.json"},
                                                                    {"Ec", "ec.json"},
                                                                    {"Missing", "/nonexistent/key.json"}};
    for (const auto& [name, file] : profiles)
        addProfile(name, {{GoogleServiceAccountKey, file}});
    run->Submit({"Broken", "NoEmail", "Ec", "Missing"});
    const std::string prefix = std::string(Engine) + ": the key file ";
    // The fault is the first line break, right after the PEM's first line; the message does
    // not quote the text around it, which is the key.
    EXPECT_EQ(host.log, (std::vector<std::string>{
                            prefix + dir.file("broken.json") + " is not JSON (the fault is near byte 45)",
                            prefix + dir.file("noemail.json") + " lacks the field \"client_email\"",
                            prefix + dir.file("ec.json") + " holds a private key that is not an RSA key",
                            prefix + "/nonexistent/key.json cannot be read: No such file or directory"}));
    EXPECT_TRUE(run->liveRefused());
    // Only the reading of each profile's site went out (its probe, robots.txt and sitemap);
    // nothing reached Google.
    for (const auto& request : simulator->requests())
        EXPECT_EQ(request.method, "GET") << request.target;
    EXPECT_EQ(host.records.size(), 12u);

    // A key file others may read still serves, with ssh's kind of warning.
    host.log.clear();
    std::filesystem::permissions(dir / "account.json",
                                 std::filesystem::perms::group_read | std::filesystem::perms::others_read,
                                 std::filesystem::perm_options::add);
    addProfile("Open", {});
    run->Submit({"Open"});
    const std::string file = dir.file("account.json");
    EXPECT_EQ(host.log,
              std::vector<std::string>{std::string(Engine) + ": warning: the key file " + file +
                                       " is accessible by others than its owner (permissions 0644); "
                                       "\"chmod 600 " +
                                       file + "\" keeps it private"});
    EXPECT_EQ(rows(), (std::vector<std::pair<std::string, std::string>>{{Engine, "Open"}}));
}

} // namespace
