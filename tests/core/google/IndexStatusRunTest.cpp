// The inspections of a run against a Google played in memory: which URLs, the pace on a test
// clock, the daily quota kept in the store across runs and Pacific midnights, 429 pauses and
// refusals, and what the store keeps and `status` prints.
#include "core/google/IndexStatusRun.h"

#include "core/Config.h"
#include "core/google/IndexStatusQuery.h"
#include "core/indexnow/IndexNowChannel.h"
#include "core/status/SiteStatus.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreStatus.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/FakeLiveRun.h"
#include "tests/core/support/StoreFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

constexpr const char* Property = "sc-domain:example.com";
constexpr const char* Account = "larkspan@example-project.iam.gserviceaccount.com";
// 2026-12-07 10:00 Pacific standard time.
constexpr std::int64_t Morning = 1796666400;

class TestClock final : public QuotaClock {
public:
    std::int64_t wall = Morning;
    std::chrono::milliseconds mono{0};
    std::int64_t wallSeconds() const override { return wall; }
    std::chrono::milliseconds monotonic() const override { return mono; }
};

std::string indexedAnswer(const std::string& url, const std::string& fetchState = "SUCCESSFUL") {
    return R"({"inspectionResult": {"inspectionResultLink": "https://search.google.com/search-console/inspect?id=1",
      "indexStatusResult": {"verdict": "PASS", "coverageState": "Submitted and indexed",
      "robotsTxtState": "ALLOWED", "indexingState": "INDEXING_ALLOWED", "lastCrawlTime": "2026-12-01T08:12:40Z",
      "pageFetchState": ")" +
           fetchState + R"(", "googleCanonical": ")" + url + R"(", "userCanonical": ")" + url +
           R"(", "crawledAs": "MOBILE"}}})";
}

LiveAnswer answer(int status, std::string reason, HeaderList headers, std::string body) {
    LiveAnswer a;
    a.status = status;
    a.reason = std::move(reason);
    a.headers = std::move(headers);
    a.body = std::move(body);
    return a;
}

// A run of the profile "Garden" whose inspections Google answers by the function; it keeps
// what was inspected and when, and each request moves the monotonic clock by 10 ms.
class FakeRun {
public:
    FakeRun(const std::string& directory, const Config& config, TestClock& clock)
        : live(directory, "Garden", "https://www.example.com/"), clock_(clock) {
        live.settings = config;
        live.respond = [this](const LiveRequest& request) {
            clock_.mono += std::chrono::milliseconds(10);
            if (request.method == Method::Get) return answer(200, "OK", {}, "{}");
            const std::string url = nlohmann::json::parse(request.body).at("inspectionUrl");
            inspected.push_back(url);
            sentAt.push_back(clock_.mono);
            return google(url);
        };
    }
    FakeRun(const FakeRun&) = delete;
    FakeRun& operator=(const FakeRun&) = delete;

    FakeLiveRun live;
    std::function<LiveAnswer(const std::string& url)> google = [](const std::string& url) {
        return answer(200, "OK", {}, indexedAnswer(url));
    };
    std::vector<std::string> inspected;
    std::vector<std::chrono::milliseconds> sentAt;

private:
    TestClock& clock_;
};

class IndexStatusRunTest : public ::testing::Test {
protected:
    // The directory of the profile and its store; a case that needs an empty store takes a new one.
    std::optional<TempDir> dir{std::in_place};
    Config config;
    TestClock clock;
    std::vector<std::chrono::milliseconds> waits;

    void SetUp() override {
        config.checkPages = false;
        config.googleInspectPerRun = 200;
    }
    StoreFixture garden() { return StoreFixture(dir->str(), "Garden"); }
    // n URLs listed in the site's sitemaps, p0, p1, ...
    void listUrls(int n) {
        std::vector<std::string> urls;
        for (int i = 0; i < n; ++i)
            urls.push_back("https://www.example.com/p" + std::to_string(i));
        garden().listed(urls);
    }
    FakeRun run() { return FakeRun(dir->str(), config, clock); }
    InspectionTally inspect(FakeRun& r) {
        const InspectionPacing pacing{&clock, [this](std::chrono::milliseconds wait) {
                                          waits.push_back(wait);
                                          clock.mono += wait;
                                      }};
        return inspectIndexStatus(
            r.live, Property, Account, [](TokenRenewal) { return std::string("token"); }, pacing);
    }
    std::string lastLine(const FakeRun& r) const { return r.live.lines.empty() ? "" : r.live.lines.back(); }
    static bool logged(const FakeRun& r, const std::string& line) {
        return std::find(r.live.lines.begin(), r.live.lines.end(), line) != r.live.lines.end();
    }
};

TEST_F(IndexStatusRunTest, KeepsEveryFieldAndShowsItInTheStatus) {
    listUrls(2);
    garden().accepted(IndexNowChannelId, {"https://www.example.com/p1"}, 5,
                      "202 Accepted from api.indexnow.org");
    FakeRun r = run();
    r.google = [](const std::string& url) {
        if (url.ends_with("p1")) return answer(200, "OK", {}, indexedAnswer(url, "SOMETHING_NEW"));
        return answer(200, "OK", {},
                      R"({"inspectionResult": {"indexStatusResult": {"verdict": "NEUTRAL",
                              "coverageState": "Crawled - currently not indexed"}}})");
    };
    const InspectionTally tally = inspect(r);
    EXPECT_EQ(tally.inspected, 2);
    EXPECT_EQ(tally.indexed, 1);
    EXPECT_TRUE(tally.sitemapsKept);
    // The announced page goes first.
    EXPECT_EQ(r.inspected,
              (std::vector<std::string>{"https://www.example.com/p1", "https://www.example.com/p0"}));
    EXPECT_EQ(r.live.lines.front(), "Google Search Console: https://www.example.com/p1: Google answered a "
                                    "pageFetchState this version does not know, kept as it is");

    const SiteStore store = SiteStore::open(dir->str());
    const StoreSite site = store.findSite("Garden");
    const auto kept = storedInspection(store, site, "https://www.example.com/p1");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->at, Morning);
    EXPECT_EQ(kept->property, Property);
    InspectionResult expected{"PASS",
                              "Submitted and indexed",
                              "INDEXING_ALLOWED",
                              "ALLOWED",
                              "SOMETHING_NEW",
                              "2026-12-01T08:12:40Z",
                              "https://www.example.com/p1",
                              "https://www.example.com/p1",
                              "MOBILE",
                              "https://search.google.com/search-console/inspect?id=1",
                              {}};
    EXPECT_EQ(kept->result, expected);

    std::vector<std::string> lines;
    forEachUrlStatus(store, site, [&](UrlStatus&& s) { lines.push_back(urlStatusLine(s)); });
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "https://www.example.com/p0\t\tpending\tNEUTRAL\tCrawled - currently not indexed\t",
            "https://www.example.com/p1\t\taccepted\tPASS\tSubmitted and indexed\t2026-12-01T08:12:40Z"}));
    EXPECT_EQ(summaryLines("Garden", siteSummary(store, site, Morning)),
              (std::vector<std::string>{"Garden: 2 pages in the sitemaps", "Page checks: 2 not checked",
                                        "IndexNow: 1 accepted, 1 pending",
                                        "Google: 1 indexed, 1 not indexed, 0 not yet inspected",
                                        "  not indexed, Crawled - currently not indexed: 1"}));
}

TEST_F(IndexStatusRunTest, TheSitemapsTypeErrorsAndWarningsAreKeptAndShown) {
    listUrls(1);
    FakeRun r = run();
    const std::string feed = "https://www.example.com/feed.xml";
    r.live.respond = [&](const LiveRequest&) {
        return answer(200, "OK", {},
                      R"({"sitemap": [{"path": ")" + feed +
                          R"(", "type": "notSitemap", "isPending": true, "errors": "3", "warnings": "1",
                          "contents": [{"type": "web", "submitted": "12", "indexed": "12"}]}]})");
    };
    config.googleInspectPerRun = 0;
    r.live.settings = config;
    EXPECT_TRUE(inspect(r).sitemapsKept);
    const SiteStore store = SiteStore::open(dir->str());
    const SiteSummary summary = siteSummary(store, store.findSite("Garden"), Morning);
    EXPECT_EQ(summaryLines("Garden", summary).back(),
              "Sitemap " + feed +
                  ": type notSitemap (Google could not read it as a sitemap), submitted never, read not yet, "
                  "pending, 3 errors, 1 warnings, 12 web URLs submitted");
    const nlohmann::json json = nlohmann::json::parse(summaryJson("Garden", summary));
    EXPECT_NE(json.dump().find(R"("type":"notSitemap")"), std::string::npos) << json.dump();
}

TEST_F(IndexStatusRunTest, OnlyPagesWhoseCheckIsOkAreInspected) {
    struct Case {
        bool checkPages;
        std::vector<std::string> inspected;
    };
    const std::string p = "https://www.example.com/p";
    for (const Case& c : {Case{true, {p + "0"}}, Case{false, {p + "0", p + "2", p + "3"}}}) {
        dir.emplace();
        listUrls(4);
        // p0 ok, p1 noindex for Googlebot, p2 and p3 not checked.
        garden().checked({StoreFixture::pageCheck(p + "0", 200, 1),
                          StoreFixture::pageCheck(p + "1", 200, 1, Noindex{.googlebot = true})});
        config.checkPages = c.checkPages;
        FakeRun r = run();
        inspect(r);
        EXPECT_EQ(r.inspected, c.inspected) << c.checkPages;
    }
}

TEST_F(IndexStatusRunTest, PacesToSixHundredAMinute) {
    listUrls(650);
    config.googleInspectPerRun = 650;
    FakeRun r = run();
    EXPECT_EQ(inspect(r).inspected, 650);
    // One wait, until the first of the last 600 is a minute old.
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_EQ(waits[0], std::chrono::milliseconds(60'000 - 6'000));
    for (std::size_t i = 600; i < r.sentAt.size(); ++i)
        EXPECT_GE(r.sentAt[i] - r.sentAt[i - 600], std::chrono::milliseconds(60'000)) << i;
}

TEST_F(IndexStatusRunTest, TheDailyQuotaHoldsAcrossRunsAndEndsAtPacificMidnight) {
    listUrls(500);
    // Another process counted 1,995 inspections of the property on this Pacific day.
    garden().inspectionsCounted(Property, pacificDay(Morning), 1995);
    const std::int64_t midnight = 1796716800; // 2026-12-08T08:00:00Z
    struct Run {
        std::int64_t at;
        int inspected;
        std::string line;
    };
    const std::string spent = "Google Search Console: no more inspections in this run: the 2,000 inspections "
                              "of sc-domain:example.com that Google allows a day are made; its next day "
                              "begins at 2026-12-08T08:00:00Z";
    for (const Run& c : {Run{Morning, 5, spent}, Run{Morning + 3600, 0, spent}, Run{midnight - 1, 0, spent},
                         Run{midnight, 200,
                             "Google Search Console: inspected 200 URLs of sc-domain:example.com: "
                             "200 indexed; 200 of the day's 2,000 inspections used"},
                         // The clock went back over midnight: the new day's count holds.
                         Run{midnight - 60, 200,
                             "Google Search Console: inspected 200 URLs of "
                             "sc-domain:example.com: 200 indexed; 400 of the day's 2,000 "
                             "inspections used"}}) {
        clock.wall = c.at;
        FakeRun r = run();
        EXPECT_EQ(inspect(r).inspected, c.inspected) << c.at;
        EXPECT_TRUE(logged(r, c.line)) << c.at << ": " << lastLine(r);
    }
}

TEST_F(IndexStatusRunTest, A429PausesThePropertyAndRefusalsNameIt) {
    struct Case {
        LiveAnswer answer;
        std::size_t sends;  // in the run refused
        std::int64_t later; // seconds after the refusal that the next run starts
        std::size_t nextRunSends;
        std::string line;
    };
    const std::string p0 = "Google Search Console: https://www.example.com/p0: ";
    for (const Case& c :
         {Case{answer(429, "Too Many Requests", {{"Retry-After", "120"}}, "{}"), 1, 119, 0,
               p0 + "429 Too Many Requests, the inspection quota of sc-domain:example.com is spent until "
                    "2026-12-07T18:02:00Z"},
          Case{answer(429, "Too Many Requests", {{"Retry-After", "120"}}, "{}"), 1, 120, 3, ""},
          // A permission error ends the run's inspections of the property.
          Case{
              answer(403, "Forbidden", {}, R"({"error": {"status": "PERMISSION_DENIED", "message": "No."}})"),
              1, 0, 3,
              p0 +
                  "403 Forbidden, the service account has no access to the domain property "
                  "sc-domain:example.com; add " +
                  Account +
                  " as a user of sc-domain:example.com in Search Console (a URL-prefix property, "
                  "https://www.example.com/, and a domain property, sc-domain:example.com, are different "
                  "properties): No."},
          // A per-minute limit that never ends: three waits, then no more in this run, and no pause.
          Case{
              answer(429, "Too Many Requests", {},
                     R"({"error": {"status": "RESOURCE_EXHAUSTED", "message": "Queries per minute"}})"),
              4, 0, 3,
              p0 +
                  "429 Too Many Requests, the per-minute inspection quota of sc-domain:example.com is spent; "
                  "inspections go on at 2026-12-07T18:01:00Z: Queries per minute"},
          // A 403 that says nothing more refuses its URL alone.
          Case{answer(403, "Forbidden", {}, R"({"error": {"message": "No access."}})"), 3, 0, 3,
               p0 + "403 Forbidden, the service account is not a user of the domain property "
                    "sc-domain:example.com (or the URL is not part of it); URL-prefix properties "
                    "(https://www.example.com/) and sc-domain: properties (sc-domain:example.com) are "
                    "different properties, and the account must be a user of the one named: No access."}}) {
        dir.emplace();
        listUrls(3);
        clock.wall = Morning;
        FakeRun refused = run();
        refused.google = [&](const std::string&) { return c.answer; };
        EXPECT_EQ(inspect(refused).inspected, 0);
        EXPECT_EQ(refused.inspected.size(), c.sends);
        if (!c.line.empty()) {
            EXPECT_EQ(refused.live.lines.at(0), c.line);
        }
        clock.wall = Morning + c.later;
        FakeRun next = run();
        inspect(next);
        EXPECT_EQ(next.inspected.size(), c.nextRunSends) << c.later;
    }
    // A refusal ends this run's inspections at most, and pauses nothing.
    SiteStore store = SiteStore::open(dir->str());
    EXPECT_EQ(StoreQuotaCounts(store, store.findSite("Garden")).pausedUntil(Property), 0);
}

TEST_F(IndexStatusRunTest, OnlyThePropertysUrlsAreAskedAndAPerMinuteLimitIsWaitedOut) {
    garden().listed({"https://www.example.com/", "https://www.example.com/shop/a",
                     "https://www.example.com/shop/b", "https://www.example.com/shop/c"});
    FakeRun r = run();
    // The first ask for b hits the per-minute limit; c is refused alone.
    int bAsked = 0;
    r.google = [&](const std::string& url) {
        if (url.ends_with("/b") && bAsked++ == 0)
            return answer(
                429, "Too Many Requests", {},
                R"({"error": {"code": 429, "message": "Quota exceeded", "status": "RESOURCE_EXHAUSTED",
                          "details": [{"@type": "type.googleapis.com/google.rpc.ErrorInfo",
                          "reason": "RATE_LIMIT_EXCEEDED", "metadata": {"quota_limit": "QueriesPerMinutePerSite"}}]}})");
        if (url.ends_with("/c")) return answer(403, "Forbidden", {}, "");
        return answer(200, "OK", {}, indexedAnswer(url));
    };
    const InspectionPacing pacing{&clock, [this](std::chrono::milliseconds wait) { waits.push_back(wait); }};
    const InspectionTally tally = inspectIndexStatus(
        r.live, "https://www.example.com/shop/", Account, [](TokenRenewal) { return std::string("token"); },
        pacing);
    EXPECT_EQ(r.inspected,
              (std::vector<std::string>{"https://www.example.com/shop/a", "https://www.example.com/shop/b",
                                        "https://www.example.com/shop/b", "https://www.example.com/shop/c"}));
    EXPECT_EQ(tally.inspected, 2);
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{std::chrono::minutes(1)}));
    EXPECT_EQ(r.live.lines.front(), "Google Search Console: 1 URLs of the sitemaps lie outside the property "
                                    "https://www.example.com/shop/ and are not inspected");
}

} // namespace
