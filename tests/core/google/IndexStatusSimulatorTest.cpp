// One round trip to the engine simulator's Google over TLS on loopback: a token, inspections
// read into results until the property's daily quota is spent, and the sitemaps list.
#include "core/google/IndexStatusQuery.h"

#include "core/google/GoogleAuth.h"
#include "core/google/IndexStatusQuota.h"
#include "core/google/SitemapStatus.h"
#include "core/sitemaps/SitemapReader.h"
#include "http/live/LiveClient.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "support/TestCertificates.h"
#include "tests/common/TempDir.h"
#include "tools/simulator/EngineSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

constexpr const char* Account = "larkspan@example-project.iam.gserviceaccount.com";
constexpr const char* Property = "sc-domain:example.com";

// The simulator's Google with the account and its options, a token, and the two questions.
class Google {
public:
    explicit Google(std::vector<std::string> options, const std::string& users = Account)
        : certs_(TestCertificates::get()), pem_(readFile(certs_.path("account.key"))) {
        dir_.write("account.json", "{\"private_key_id\": \"4f1c0ffee\", \"private_key\": \"" +
                                       replaceAll(pem_, "\n", "\\n") + "\", \"client_email\": \"" + Account +
                                       "\"}");
        for (const std::string& o :
             {std::string("--google-account"), dir_.file("account.json"), std::string("--google-property"),
              std::string(Property) + "=" + users, std::string("--google-sitemap"),
              std::string(Property) + "=https://www.example.com/sitemap.xml"})
            options.push_back(o);
        simulator_.emplace(std::vector<std::string>{}, EngineSimulator::defaultScript(),
                           EngineSimulator::Tls{certs_.path("server.pem"), certs_.key()}, options);
        base = "https://127.0.0.1:" + std::to_string(simulator_->port());
        LiveClient::Settings settings;
        settings.caFile = certs_.ca();
        client_.emplace(settings);
        const ServiceAccount account{Account, pem_, "4f1c0ffee", base + "/token"};
        const LiveAnswer granted =
            send(Method::Post, base + "/token", {{"Content-Type", "application/x-www-form-urlencoded"}},
                 tokenRequestBody(makeAssertion(account, base + "/token", now)));
        const TokenAnswer token = parseTokenAnswer(granted.status, granted.body);
        bearer = "Bearer " + token.accessToken;
    }
    LiveAnswer send(Method method, const std::string& url, HeaderList headers, std::string body) {
        LiveRequest request;
        request.method = method;
        request.url = url;
        request.headers = std::move(headers);
        request.body = std::move(body);
        return client_->perform(std::move(request));
    }
    InspectionAnswer inspect(const std::string& url) {
        const LiveAnswer a = send(Method::Post, urlInspectionUrl(base),
                                  {{"Authorization", bearer}, {"Content-Type", "application/json"}},
                                  urlInspectionBody(url, Property));
        return readInspectionAnswer(a.status, a.reason, a.header("Retry-After"), a.body, url, Property, now,
                                    dayEnd, Account);
    }
    SitemapStatusList sitemaps() {
        const LiveAnswer listed =
            send(Method::Get, searchConsoleSitemapListUrl(base, Property), {{"Authorization", bearer}}, {});
        return readSitemapStatus(listed.status, listed.reason, listed.body, Property, Account);
    }

    const std::int64_t now = SystemQuotaClock().wallSeconds();
    const std::int64_t dayEnd = pacificDayStart(pacificDay(now) + 1);
    std::string base, bearer;

private:
    const TestCertificates& certs_;
    TempDir dir_;
    std::string pem_;
    std::optional<EngineSimulator> simulator_;
    std::optional<LiveClient> client_;
};

TEST(InspectionSimulatorTest, InspectionsUntilTheDailyQuotaIsSpentAndTheSitemapsList) {
    ASSERT_EQ(TestCertificates::get().error(), "");
    const std::string roses = "https://www.example.com/roses/";
    const std::string gone = "https://www.example.com/gone/";
    Google google({"--google-inspection", roses + "=indexed", "--google-inspect-quota", "3",
                   "--google-inspection", gone + "=forbidden", "--google-sitemap-type",
                   "https://www.example.com/sitemap.xml=notSitemap"});
    ASSERT_NE(google.bearer, "Bearer ");
    const std::int64_t now = google.now;
    auto inspect = [&](const std::string& url) { return google.inspect(url); };
    const InspectionAnswer indexed = inspect(roses);
    ASSERT_EQ(indexed.outcome, InspectionOutcome::Result) << indexed.problem;
    const InspectionResult& r = indexed.result;
    EXPECT_EQ(std::vector<std::string>({r.verdict, r.coverageState, r.indexingState, r.robotsTxtState,
                                        r.pageFetchState, r.googleCanonical, r.userCanonical}),
              std::vector<std::string>({"PASS", "Submitted and indexed", "INDEXING_ALLOWED", "ALLOWED",
                                        "SUCCESSFUL", roses, roses}));
    EXPECT_LT(lastCrawlSeconds(r).value_or(now), now);
    EXPECT_TRUE(r.crawledAs == "MOBILE" || r.crawledAs == "DESKTOP") << r.crawledAs;
    EXPECT_EQ(r.inspectionResultLink.rfind("https://search.google.com/search-console/inspect?", 0), 0u);
    EXPECT_TRUE(r.unfamiliar.empty());
    // A page the simulator excludes by noindex, drawn from its URL.
    EXPECT_EQ(inspect("https://shop.example.com/p5").result.indexingState, "BLOCKED_BY_META_TAG");

    // Outside the property: refused before it counts, with Google's words and the property named.
    const InspectionAnswer outside = inspect("https://www.example.org/");
    EXPECT_EQ(outside.outcome, InspectionOutcome::PropertyRefused);
    EXPECT_NE(outside.problem.find("403 Forbidden, the service account has no access to the domain property "
                                   "sc-domain:example.com; add " +
                                   std::string(Account) + " as a user of sc-domain:example.com"),
              std::string::npos)
        << outside.problem;
    // A URL refused alone.
    EXPECT_EQ(inspect(gone).outcome, InspectionOutcome::UrlRefused);

    EXPECT_EQ(inspect("https://www.example.com/tulips/").outcome, InspectionOutcome::Result);
    const InspectionAnswer spent = inspect("https://www.example.com/lilies/");
    EXPECT_EQ(spent.outcome, InspectionOutcome::PropertyPaused) << spent.problem;
    EXPECT_EQ(spent.retryAt, std::min(google.dayEnd, now + 86400));

    const SitemapStatusList list = google.sitemaps();
    ASSERT_TRUE(list.ok()) << list.problem;
    ASSERT_EQ(list.sitemaps.size(), 1u);
    EXPECT_EQ(list.sitemaps[0].path, "https://www.example.com/sitemap.xml");
    EXPECT_LT(parseW3cDatetime(list.sitemaps[0].lastSubmitted).value_or(now), now);
    EXPECT_GT(list.sitemaps[0].contents.at(0).submitted, 0);
    EXPECT_EQ(list.sitemaps[0].type, "notSitemap");
    EXPECT_EQ(list.sitemaps[0].errors, 3);
}

TEST(InspectionSimulatorTest, ADisabledApiAPermissionErrorAndAPerMinuteLimitAreToldApart) {
    ASSERT_EQ(TestCertificates::get().error(), "");
    const std::string url = "https://www.example.com/a";
    Google disabled({"--google-disabled-project", "123456"});
    const InspectionAnswer off = disabled.inspect(url);
    EXPECT_EQ(off.outcome, InspectionOutcome::PropertyRefused);
    EXPECT_NE(
        off.problem.find("403 Forbidden, the Google Search Console API is not enabled in the Google Cloud "
                         "project projects/123456; enable the Google Search Console API there"),
        std::string::npos)
        << off.problem;
    EXPECT_NE(disabled.sitemaps().problem.find("projects/123456"), std::string::npos);

    Google stranger({}, "someone@example-project.iam.gserviceaccount.com");
    const InspectionAnswer denied = stranger.inspect(url);
    EXPECT_EQ(denied.outcome, InspectionOutcome::PropertyRefused);
    EXPECT_NE(denied.problem.find(std::string("add ") + Account + " as a user of sc-domain:example.com"),
              std::string::npos)
        << denied.problem;

    Google paced({"--google-inspect-per-minute", "1"});
    EXPECT_EQ(paced.inspect(url).outcome, InspectionOutcome::Result);
    const InspectionAnswer minute = paced.inspect(url);
    EXPECT_EQ(minute.outcome, InspectionOutcome::PaceExceeded) << minute.problem;
    EXPECT_EQ(minute.retryAt, paced.now + 60);
}

} // namespace
