// The URL Inspection request and the reading of its answers and of the sitemaps list, on canned
// answers as Google writes them and on answers no server should send.
#include "core/google/IndexStatusQuery.h"

#include "core/Config.h"
#include "core/google/IndexStatusOrder.h"
#include "core/google/SitemapStatus.h"
#include "platform/Error.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

constexpr std::int64_t Now = 1'796'091'200;    // 2026-12-01T02:13:20Z, 18:13 on 30 November in California
constexpr std::int64_t DayEnd = 1'796'112'000; // 2026-12-01T08:00:00Z, the end of that Pacific day
constexpr const char* Url = "https://www.example.com/roses/";
constexpr const char* Property = "sc-domain:example.com";
// What the 403 of each API says after the property.
const std::string NotTheSameProperty = "; URL-prefix properties (https://www.example.com/) and sc-domain: "
                                       "properties (sc-domain:example.com) are different properties, and the "
                                       "account must be a user of the one named: ";

InspectionAnswer read(int status, const std::string& body, const std::string& retryAfter = {}) {
    return readInspectionAnswer(status, status == 200 ? "OK" : "Refused", retryAfter, body, Url, Property,
                                Now, DayEnd);
}

// The kept fields in the order of the struct.
std::vector<std::string> kept(const InspectionResult& r) {
    return {r.verdict,       r.coverageState,   r.indexingState, r.robotsTxtState, r.pageFetchState,
            r.lastCrawlTime, r.googleCanonical, r.userCanonical, r.crawledAs,      r.inspectionResultLink};
}

std::string index(const std::string& members) {
    return R"({"inspectionResult":{"indexStatusResult":{)" + members + "}}}";
}

TEST(UrlInspectionTest, TheRequestGoesToTheConfiguredHostWithTheUrlAndProperty) {
    // Quotes and control bytes are escaped; a byte that is not UTF-8 cannot fail the request.
    EXPECT_EQ(urlInspectionBody("https://x.example/\"a\"\n\xff", Property),
              "{\"inspectionUrl\":\"https://x.example/\\\"a\\\"\\n\xEF\xBF\xBD\",\"siteUrl\":\"sc-domain:"
              "example.com\"}");
    auto configured = [](const std::string& google) {
        Config config;
        std::vector<std::string> warnings;
        config.apply(IniFile::parse("[Google]\n" + google), "test.ini", warnings);
        return config;
    };
    EXPECT_EQ(urlInspectionUrl(configured("").googleInspectionBase),
              "https://searchconsole.googleapis.com/v1/urlInspection/index:inspect");
    const Config local = configured("APIBase=https://127.0.0.1:8443/\nInspectPerRun=0");
    EXPECT_EQ(urlInspectionUrl(local.googleInspectionBase),
              "https://127.0.0.1:8443/v1/urlInspection/index:inspect");
    EXPECT_EQ(local.googleInspectPerRun, 0);
    EXPECT_EQ(configured("").googleInspectPerRun, 200);
    for (const char* bad : {"2001", "-1", ""}) {
        try {
            configured(std::string("InspectPerRun=") + bad);
            ADD_FAILURE() << "taken: " << bad;
        } catch (const LarkspanError& e) {
            EXPECT_EQ(e.what(), std::string("test.ini: [Google] InspectPerRun=") + bad +
                                    ": a number of inspections from 0 to 2000 is expected");
        }
    }
}

TEST(UrlInspectionTest, EveryKeptFieldIsReadAndUnknownValuesAreKeptAsText) {
    // A whole answer as Google's documentation shows one, with parts that are not kept.
    const InspectionAnswer full = read(200, R"({"inspectionResult": {
        "inspectionResultLink": "https://search.google.com/search-console/inspect?id=Zx1",
        "indexStatusResult": {"verdict": "PASS", "coverageState": "Submitted and indexed",
            "robotsTxtState": "ALLOWED", "indexingState": "INDEXING_ALLOWED", "pageFetchState": "SUCCESSFUL",
            "lastCrawlTime": "2026-11-28T19:45:03Z", "googleCanonical": "https://www.example.com/roses/",
            "userCanonical": "https://www.example.com/roses", "crawledAs": "MOBILE",
            "sitemap": ["https://www.example.com/sitemap.xml"], "referringUrls": ["https://www.example.com/"]},
        "mobileUsabilityResult": {"verdict": "PASS"}}})");
    ASSERT_EQ(full.outcome, InspectionOutcome::Result) << full.problem;
    EXPECT_EQ(
        kept(full.result),
        (std::vector<std::string>{"PASS", "Submitted and indexed", "INDEXING_ALLOWED", "ALLOWED",
                                  "SUCCESSFUL", "2026-11-28T19:45:03Z", Url, "https://www.example.com/roses",
                                  "MOBILE", "https://search.google.com/search-console/inspect?id=Zx1"}));
    EXPECT_TRUE(full.result.unfamiliar.empty());
    EXPECT_TRUE(isIndexedVerdict(full.result.verdict));
    EXPECT_EQ(lastCrawlSeconds(full.result), 1'795'895'103);

    // A page Google found but never fetched leaves most fields out, or null; values added after
    // this was written are kept as sent, and named.
    const InspectionAnswer found = read(200, index(R"("verdict":"NEUTRAL","lastCrawlTime":null)"));
    ASSERT_EQ(found.outcome, InspectionOutcome::Result) << found.problem;
    EXPECT_EQ(kept(found.result), (std::vector<std::string>{"NEUTRAL", "", "", "", "", "", "", "", "", ""}));
    EXPECT_FALSE(lastCrawlSeconds(found.result));
    const InspectionAnswer news = read(200, index(R"("verdict":"MAYBE","pageFetchState":"BLOCKED_BY_GEO",)"
                                                  R"("crawledAs":"TABLET","robotsTxtState":"ALLOWED")"));
    ASSERT_EQ(news.outcome, InspectionOutcome::Result) << news.problem;
    EXPECT_EQ(news.result.pageFetchState, "BLOCKED_BY_GEO");
    EXPECT_EQ(news.result.unfamiliar, (std::vector<std::string>{"verdict", "pageFetchState", "crawledAs"}));
    EXPECT_FALSE(isIndexedVerdict(news.result.verdict));
}

TEST(UrlInspectionTest, AnswersThatHoldNoResultAreUnreadableWithASentence) {
    const std::string big = index(R"("coverageState":")" + std::string(10 << 20, 'x') + "\"");
    const std::pair<std::string, std::string> cases[] = {
        {"{}", "the answer holds no \"inspectionResult\""},
        {R"({"inspectionResult":{"inspectionResultLink":"x"}})", "the answer holds no \"indexStatusResult\""},
        {R"({"inspectionResult":"PASS"})", "the field \"inspectionResult\" is not an object"},
        {index(R"("verdict":1)"), "the field \"verdict\" is not a text"},
        {"<html>Error</html>", "the answer is not JSON (the fault is near byte 1)"},
        {index(R"("verdict":1e999)"), "the answer is not JSON (a number in it is too large)"},
        {big, "the answer of 10485823 bytes is larger than 1048576 bytes, more than such an answer can be"},
        {std::string(300'000, '[') + std::string(300'000, ']'), "the answer is nested deeper than 64 levels"},
    };
    for (const auto& [body, why] : cases) {
        const InspectionAnswer a = read(200, body);
        EXPECT_EQ(a.outcome, InspectionOutcome::Unreadable) << why;
        EXPECT_EQ(a.problem, std::string(Url) + ": 200 OK, but " + why) << body.substr(0, 80);
    }
}

TEST(UrlInspectionTest, RefusalsSayWhatToDoAndA429PausesTheProperty) {
    const std::string quota =
        R"({"error":{"code":429,"message":"Quota exceeded","status":"RESOURCE_EXHAUSTED"}})";
    struct Case {
        int status;
        std::string retryAfter, body;
        InspectionOutcome outcome;
        std::int64_t retryAt;
        std::string problem;
    };
    const Case cases[] = {
        // Neither status nor details: the sentence of old, and only this URL is refused.
        {403, "", R"({"error":{"code":403,"message":"You do not own this site."}})",
         InspectionOutcome::UrlRefused, 0,
         "403 Refused, the service account is not a user of the domain property sc-domain:example.com (or "
         "the "
         "URL is not part of it)" +
             NotTheSameProperty + "You do not own this site."},
        {429, "120", quota, InspectionOutcome::PropertyPaused, Now + 120,
         "429 Refused, the inspection quota of sc-domain:example.com is spent until 2026-12-01T02:15:20Z: "
         "Quota "
         "exceeded"},
        // No Retry-After: the quota day's end. One beyond a day is held to a day; a date is read too.
        {429, "", quota, InspectionOutcome::PropertyPaused, DayEnd, ""},
        {429, "259200", quota, InspectionOutcome::PropertyPaused, Now + 86400, ""},
        {429, "Tue, 01 Dec 2026 03:00:00 GMT", "", InspectionOutcome::PropertyPaused, 1'796'094'000, ""},
        {401, "", "", InspectionOutcome::RenewToken, 0, "401 Refused, the token is bad or expired"},
        {404, "", "", InspectionOutcome::PropertyRefused, 0,
         "404 Refused, the property sc-domain:example.com is unknown"},
        {400, "", R"({"error":{"message":"Invalid\nvalue"}})", InspectionOutcome::UrlRefused, 0,
         "400 Refused, the request was not understood: Invalid value"},
        {503, "60", "<html>", InspectionOutcome::ServerFault, 0,
         "503 Refused, a fault at Google; try again later"},
    };
    for (const Case& c : cases) {
        const InspectionAnswer a = read(c.status, c.body, c.retryAfter);
        EXPECT_EQ(a.outcome, c.outcome) << c.status << " " << c.retryAfter;
        EXPECT_EQ(a.retryAt, c.retryAt) << c.status << " " << c.retryAfter;
        if (!c.problem.empty()) {
            EXPECT_EQ(a.problem, std::string(Url) + ": " + c.problem);
        }
    }
}

// Error bodies as the Search Console API writes them (google.rpc.Status with ErrorInfo and
// RetryInfo details), and what each means for the property's inspections.
TEST(UrlInspectionTest, TheErrorsStatusAndDetailsDecideTheSentenceAndThePause) {
    const auto status = [](int code, const std::string& message, const std::string& name,
                           const std::string& details = "") {
        return R"({"error":{"code":)" + std::to_string(code) + R"(,"message":")" + message +
               R"(","status":")" + name + "\"" + (details.empty() ? "" : ",\"details\":[" + details + "]") +
               "}}";
    };
    const auto info = [](const std::string& reason, const std::string& metadata) {
        return R"({"@type":"type.googleapis.com/google.rpc.ErrorInfo","reason":")" + reason +
               R"(","domain":"googleapis.com","metadata":{)" + metadata + "}}";
    };
    const std::string retry = R"({"@type":"type.googleapis.com/google.rpc.RetryInfo","retryDelay":"17.5s"})";
    const std::string enable = "the Google Search Console API is not enabled in the Google Cloud project ";
    const std::string add =
        "the service account has no access to the domain property sc-domain:example.com; add "
        "sa@p.iam.gserviceaccount.com as a user of sc-domain:example.com in Search Console";
    const std::string perMinute = "the per-minute inspection quota of sc-domain:example.com is spent; "
                                  "inspections go on at ";
    struct Case {
        int code;
        std::string retryAfter, body;
        InspectionOutcome outcome;
        std::int64_t retryAt;
        std::string meaning; // what the problem says after the status, up to Google's message
    };
    using O = InspectionOutcome;
    const Case cases[] = {
        {403, "",
         status(403, "API off", "PERMISSION_DENIED",
                info("SERVICE_DISABLED", R"("consumer":"projects/123456")")),
         O::PropertyRefused, 0, enable + "projects/123456; enable the Google Search Console API there"},
        {403, "",
         status(403, "API off", "PERMISSION_DENIED", info("SERVICE_DISABLED", R"("containerInfo":"77")")),
         O::PropertyRefused, 0, enable + "projects/77; enable the Google Search Console API there"},
        // No details: the message alone says the API is off, and which project.
        {403, "",
         R"({"error":{"message":"Google Search Console API has not been used in project 987 before or it is disabled."}})",
         O::PropertyRefused, 0, enable + "projects/987; enable the Google Search Console API there"},
        {403, "", status(403, "No.", "PERMISSION_DENIED"), O::PropertyRefused, 0, add},
        {403, "", "<html>Forbidden</html>", O::UrlRefused, 0,
         "the service account is not a user of the domain property sc-domain:example.com (or the URL is not "
         "part "
         "of it)"},
        {429, "",
         status(429, "Quota", "RESOURCE_EXHAUSTED",
                info("RATE_LIMIT_EXCEEDED", R"("quota_limit":"QueriesPerMinutePerSite")")),
         O::PaceExceeded, Now + 60, perMinute + "2026-12-01T02:14:20Z"},
        {429, "", status(429, "Quota", "RESOURCE_EXHAUSTED", retry), O::PaceExceeded, Now + 18, ""},
        {429, "", R"({"error":{"message":"Limit 'Queries per minute' hit"}})", O::PaceExceeded, Now + 60, ""},
        // Retry-After wins; one of a day makes a per-minute refusal a pause of the property.
        {429, "5", status(429, "Quota", "RESOURCE_EXHAUSTED", retry), O::PaceExceeded, Now + 5, ""},
        {429, "86400", status(429, "Quota", "RESOURCE_EXHAUSTED", retry), O::PropertyPaused, Now + 86400, ""},
        {429, "",
         status(429, "Quota", "RESOURCE_EXHAUSTED",
                info("RATE_LIMIT_EXCEEDED", R"("quota_limit":"QueriesPerDayPerSite")")),
         O::PropertyPaused, DayEnd, ""},
        // Quotas that older answers refuse with 403.
        {403, "",
         R"({"error":{"code":403,"message":"Daily Limit Exceeded","errors":[{"reason":"dailyLimitExceeded"}]}})",
         O::PropertyPaused, DayEnd, ""},
        {403, "",
         R"({"error":{"code":403,"message":"Slow down","errors":[{"reason":"userRateLimitExceeded"}]}})",
         O::PaceExceeded, Now + 60, ""},
    };
    for (const Case& c : cases) {
        const InspectionAnswer a =
            readInspectionAnswer(c.code, "Refused", c.retryAfter, c.body, Url, Property, Now, DayEnd,
                                 "sa@p.iam.gserviceaccount.com");
        EXPECT_EQ(a.outcome, c.outcome) << c.body;
        EXPECT_EQ(a.retryAt, c.retryAt) << c.body;
        const std::string head = std::string(Url) + ": " + std::to_string(c.code) + " Refused, " + c.meaning;
        EXPECT_EQ(a.problem.substr(0, head.size()), head) << c.body;
    }
    // The sitemaps list explains a disabled API alike.
    EXPECT_EQ(readSitemapStatus(403, "Forbidden", cases[0].body, Property).problem,
              "the sitemaps of sc-domain:example.com: 403 Forbidden, " + enable +
                  "projects/123456; enable the Google Search Console API there: API off");
}

TEST(UrlInspectionTest, OnlyUrlsOfThePropertyAreCandidates) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"https://www.example.com/shop/", "https://www.example.com/shop/roses", true},
        {"https://www.example.com/shop/", "https://WWW.Example.com:443/shop/", true},
        {"https://www.example.com/shop/", "https://www.example.com/", false},
        {"https://www.example.com/shop/", "https://www.example.com/shopping", false},
        {"https://www.example.com/shop/", "http://www.example.com/shop/a", false},
        {"https://www.example.com/shop/", "https://www.example.com:8443/shop/a", false},
        {"https://www.example.com/shop/", "https://shop.example.com/shop/a", false},
        {"sc-domain:example.com", "http://example.com/a", true},
        {"sc-domain:example.com", "https://a.b.Example.com/x", true},
        {"sc-domain:example.com", "https://badexample.com/", false},
        {"sc-domain:example.com", "https://example.com.evil.test/", false},
        {"sc-domain:example.com", "ftp://example.com/", false},
    };
    for (const auto& [property, url, inside] : cases)
        EXPECT_EQ(inSearchConsoleProperty(url, property), inside) << property << " " << url;
}

TEST(SitemapStatusTest, TheListIsReadWithCountsAsTextsOrNumbers) {
    EXPECT_EQ(searchConsoleSitemapListUrl("https://www.googleapis.com", "https://www.example.com/"),
              "https://www.googleapis.com/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/sitemaps");
    const SitemapStatusList list = readSitemapStatus(200, "OK", R"({"sitemap":[
      {"path":"https://www.example.com/index.xml","lastSubmitted":"2026-11-30T10:00:00.000Z","isPending":false,
       "isSitemapsIndex":true,"type":"sitemap","lastDownloaded":"2026-11-30T10:04:11Z","warnings":"2","errors":"1",
       "contents":[{"type":"web","submitted":"1250","indexed":"0"},{"type":"image","submitted":17}]},
      {"path":"https://www.example.com/news.xml","isPending":true,"type":"notSitemap","errors":3,
       "contents":[{"type":"web","submitted":"12"}]}]})",
                                                     Property);
    ASSERT_TRUE(list.ok()) << list.problem;
    const std::vector<SitemapStatus> expected{
        {"https://www.example.com/index.xml",
         "2026-11-30T10:00:00.000Z",
         "2026-11-30T10:04:11Z",
         false,
         true,
         1,
         2,
         {{"web", 1250, 0}, {"image", 17, 0}},
         "sitemap"},
        {"https://www.example.com/news.xml", "", "", true, false, 3, 0, {{"web", 12, 0}}, "notSitemap"}};
    EXPECT_EQ(list.sitemaps, expected);
    EXPECT_TRUE(readSitemapStatus(200, "OK", "{}", Property).ok());
}

TEST(SitemapStatusTest, ListsThatCannotBeReadAndRefusalsGiveASentence) {
    const std::tuple<int, std::string, std::string> cases[] = {
        {200, R"({"sitemap":{}})", "200 OK, but the field \"sitemap\" is not a list"},
        {200, R"({"sitemap":[{"path":"a","isPending":"no"}]})",
         "200 OK, but the field \"isPending\" is not true or false"},
        {200, R"({"sitemap":[{"path":"a","errors":"-1"}]})",
         "200 OK, but the field \"errors\" is not a count"},
        {200, R"({"sitemap":[{"path":"a","contents":[{"submitted":2.5}]}]})",
         "200 OK, but the field \"submitted\" is not a count"},
        {200, R"({"sitemap":[{"isPending":true}]})", "200 OK, but an entry of \"sitemap\" has no \"path\""},
        {200, "[" + std::string(5 << 20, ' ') + "]",
         "200 OK, but the answer of 5242882 bytes is larger than 4194304 bytes, more than such an answer can "
         "be"},
        {403, R"({"error":{"code":403,"message":"User does not have sufficient permission."}})",
         "403 OK, the service account is not a user of the domain property sc-domain:example.com" +
             NotTheSameProperty + "User does not have sufficient permission."},
    };
    for (const auto& [status, body, problem] : cases) {
        const SitemapStatusList list = readSitemapStatus(status, "OK", body, Property);
        EXPECT_EQ(list.problem, "the sitemaps of sc-domain:example.com: " + problem) << body.substr(0, 80);
        EXPECT_TRUE(list.sitemaps.empty());
    }
}

} // namespace
