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

namespace {

constexpr const char* Account = "larkspan@example-project.iam.gserviceaccount.com";
constexpr const char* Property = "sc-domain:example.com";

TEST(InspectionSimulatorTest, InspectionsUntilTheDailyQuotaIsSpentAndTheSitemapsList) {
    const TestCertificates& certs = TestCertificates::get();
    ASSERT_EQ(certs.error(), "");
    TempDir dir;
    const std::string pem = readFile(certs.path("account.key"));
    dir.write("account.json", "{\"private_key_id\": \"4f1c0ffee\", \"private_key\": \"" +
                                  replaceAll(pem, "\n", "\\n") + "\", \"client_email\": \"" + Account +
                                  "\"}");
    const std::string roses = "https://www.example.com/roses/";
    EngineSimulator simulator({}, EngineSimulator::defaultScript(), {certs.path("server.pem"), certs.key()},
                              {"--google-account", dir.file("account.json"), "--google-property",
                               std::string(Property) + "=" + Account, "--google-sitemap",
                               std::string(Property) + "=https://www.example.com/sitemap.xml",
                               "--google-inspection", roses + "=indexed", "--google-inspect-quota", "3"});
    const std::string base = "https://127.0.0.1:" + std::to_string(simulator.port());
    LiveClient::Settings settings;
    settings.caFile = certs.ca();
    LiveClient client(settings);
    auto send = [&](Method method, const std::string& url, HeaderList headers, std::string body) {
        LiveRequest request;
        request.method = method;
        request.url = url;
        request.headers = std::move(headers);
        request.body = std::move(body);
        return client.perform(std::move(request));
    };

    const std::int64_t now = SystemQuotaClock().wallSeconds();
    const ServiceAccount account{Account, pem, "4f1c0ffee", base + "/token"};
    const LiveAnswer granted =
        send(Method::Post, base + "/token", {{"Content-Type", "application/x-www-form-urlencoded"}},
             tokenRequestBody(makeAssertion(account, base + "/token", now)));
    const TokenAnswer token = parseTokenAnswer(granted.status, granted.body);
    ASSERT_TRUE(token.ok()) << token.error << " " << token.description;
    const std::string bearer = "Bearer " + token.accessToken;

    const std::int64_t dayEnd = pacificDayStart(pacificDay(now) + 1);
    auto inspect = [&](const std::string& url) {
        const LiveAnswer a = send(Method::Post, urlInspectionUrl(base),
                                  {{"Authorization", bearer}, {"Content-Type", "application/json"}},
                                  urlInspectionBody(url, Property));
        return readInspectionAnswer(a.status, a.reason, a.header("Retry-After"), a.body, url, Property, now,
                                    dayEnd);
    };

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
    EXPECT_NE(outside.problem.find("403 Forbidden, the service account is not a user of the domain property "
                                   "sc-domain:example.com (or the URL is not part of it)"),
              std::string::npos)
        << outside.problem;

    EXPECT_EQ(inspect("https://www.example.com/tulips/").outcome, InspectionOutcome::Result);
    const InspectionAnswer spent = inspect("https://www.example.com/lilies/");
    EXPECT_EQ(spent.outcome, InspectionOutcome::PropertyPaused) << spent.problem;
    EXPECT_EQ(spent.retryAt, std::min(dayEnd, now + 86400));

    const LiveAnswer listed =
        send(Method::Get, searchConsoleSitemapListUrl(base, Property), {{"Authorization", bearer}}, {});
    const SitemapStatusList list = readSitemapStatus(listed.status, listed.reason, listed.body, Property);
    ASSERT_TRUE(list.ok()) << list.problem;
    ASSERT_EQ(list.sitemaps.size(), 1u);
    EXPECT_EQ(list.sitemaps[0].path, "https://www.example.com/sitemap.xml");
    EXPECT_LT(parseW3cDatetime(list.sitemaps[0].lastSubmitted).value_or(now), now);
    EXPECT_GT(list.sitemaps[0].contents.at(0).submitted, 0);
}

} // namespace
