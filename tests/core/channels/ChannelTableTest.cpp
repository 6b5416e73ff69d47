// The channel table and one channel at a time on a fake run: what a channel plans is what it
// announces, and each declaration's docs page is where the docs index says.
#include "core/channels/ChannelTable.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "core/indexnow/IndexNowChannel.h"
#include "core/google/SearchConsoleChannel.h"
#include "core/store/SiteStore.h"
#include "platform/Text.h"
#include "support/TestCertificates.h"
#include "tests/common/Files.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/FakeLiveRun.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr const char* Site = "https://www.example.com/";
constexpr const char* SitemapUrl = "https://www.example.com/sitemap.xml";

LiveAnswer ok(std::string body, int status = 200) {
    LiveAnswer answer;
    answer.status = status;
    answer.reason = status == 204 ? "No Content" : "OK";
    answer.body = std::move(body);
    return answer;
}

// The announcements of a plan, as the fake run keeps those sent.
std::vector<std::string> planned(const std::vector<PlannedRequest>& plan) {
    std::vector<std::string> out;
    for (const PlannedRequest& r : plan)
        out.push_back(r.engine + " " + std::string(methodName(r.method)) + " " + r.url + " " + r.body);
    return out;
}
std::vector<std::string> announced(const FakeLiveRun& run) {
    std::vector<std::string> out;
    for (const FakeLiveRun::Sent& s : run.announcements())
        out.push_back(s.engine + " " + std::string(methodName(s.method)) + " " + s.url + " " + s.body);
    return out;
}

TEST(ChannelTable, IndexNowAnnouncesWhatItPlannedAndThenPlansNothingMore) {
    TempDir dir;
    auto fake = [&] {
        FakeLiveRun run(dir.str(), "Garden", Site);
        run.profile.extras = {
            {IndexNowKeyKey, "0123456789abcdef"}, {IndexNowFirstRunKey, "all"}, {SitemapKey, SitemapUrl}};
        run.answers[SitemapUrl] = ok("<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
                                     "<url><loc>https://www.example.com/a</loc></url>"
                                     "<url><loc>https://elsewhere.example/b</loc></url></urlset>");
        run.answers[DefaultIndexNowEndpoint] = ok("");
        return run;
    };
    std::unique_ptr<LiveChannel> channel = findChannel(IndexNowChannelId)->make();
    FakeLiveRun planning = fake();
    ASSERT_TRUE(channel->uses(planning));
    const std::vector<PlannedRequest> plan = channel->plan(planning);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].body, "{\"host\":\"www.example.com\",\"key\":\"0123456789abcdef\",\"urlList\":["
                            "\"https://www.example.com/\",\"https://www.example.com/a\"]}");
    EXPECT_TRUE(planning.refusals.empty());
    EXPECT_TRUE(planning.announcements().empty());

    FakeLiveRun announcing = fake();
    channel->announce(announcing);
    EXPECT_EQ(announced(announcing), planned(plan));
    EXPECT_EQ(announcing.acceptedBy, std::vector<std::string>{"IndexNow (api.indexnow.org)"});
    EXPECT_TRUE(announcing.refusals.empty()) << announcing.refusals.front();

    // The store now holds what was accepted: the next run has nothing to send.
    FakeLiveRun after = fake();
    EXPECT_TRUE(channel->plan(after).empty());
}

TEST(ChannelTable, SearchConsolePlansTheTokenRequestAndEachSitemapItThenSubmits) {
    const TestCertificates& certs = TestCertificates::get();
    ASSERT_EQ(certs.error(), "");
    TempDir dir;
    dir.write("account.json",
              "{\"type\": \"service_account\", \"client_email\": \"a@b.iam.gserviceaccount.com\", "
              "\"private_key_id\": \"k1\", \"private_key\": \"" +
                  replaceAll(readFile(certs.path("account.key")), "\n", "\\n") +
                  "\", \"token_uri\": \"https://oauth2.googleapis.com/token\"}");
    std::filesystem::permissions(dir.file("account.json"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string put = "https://www.googleapis.com/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/"
                            "sitemaps/https%3A%2F%2Fwww.example.com%2Fsitemap.xml";
    auto fake = [&] {
        FakeLiveRun run(dir.str(), "Garden", Site);
        run.profile.extras = {{GoogleServiceAccountKey, "account.json"}, {SitemapKey, SitemapUrl}};
        run.answers[SitemapUrl] =
            ok("<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"></urlset>");
        run.answers["https://oauth2.googleapis.com/token"] =
            ok("{\"access_token\": \"ya29.t\", \"expires_in\": 3600, \"token_type\": \"Bearer\"}");
        run.answers[put] = ok("", 204);
        return run;
    };
    std::unique_ptr<LiveChannel> channel = findChannel(SearchConsoleChannelId)->make();
    FakeLiveRun planning = fake();
    const std::vector<PlannedRequest> plan = channel->plan(planning);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].method, Method::Post);
    EXPECT_EQ(plan[0].url, "https://oauth2.googleapis.com/token");
    // The assertion is as good as the key for an hour: a plan never holds one.
    EXPECT_EQ(plan[0].body.find("assertion=ey"), std::string::npos) << plan[0].body;
    EXPECT_EQ(planned({plan[1]}), std::vector<std::string>{"Google Search Console PUT " + put + " "});

    FakeLiveRun announcing = fake();
    channel->announce(announcing);
    const std::vector<FakeLiveRun::Sent> sent = announcing.announcements();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].url, plan[0].url);
    EXPECT_EQ(sent[0].body.rfind("grant_type=urn:ietf:params:oauth:grant-type:jwt-bearer&assertion=ey", 0),
              0u);
    EXPECT_EQ(announced(announcing)[1], planned(plan)[1]);
    EXPECT_EQ(announcing.acceptedBy, std::vector<std::string>{SearchConsoleEngine});

    // A key file that is not there keeps the channel from planning, and says why.
    FakeLiveRun missing = fake();
    missing.profile.extras[0].second = "absent.json";
    EXPECT_TRUE(channel->plan(missing).empty());
    ASSERT_EQ(missing.refusals.size(), 1u);
    EXPECT_NE(missing.refusals[0].find("absent.json"), std::string::npos) << missing.refusals[0];
}

TEST(ChannelTable, EveryChannelHasItsIdItsDocsPageInTheIndexAndAKnownConfigSection) {
    const std::string index = readFile(LARKSPAN_SOURCE_DIR "/docs/README.md");
    std::vector<std::string> ids;
    for (const ChannelDeclaration* channel : channelTable()) {
        SCOPED_TRACE(channel->id);
        EXPECT_EQ(findChannel(channel->id), channel);
        EXPECT_TRUE(
            std::filesystem::is_regular_file(std::string(LARKSPAN_SOURCE_DIR "/docs/") + channel->docsPage));
        EXPECT_NE(index.find(std::string("](") + channel->docsPage + ")"), std::string::npos);
        EXPECT_FALSE(channel->keys.empty());
        EXPECT_EQ(std::find(ids.begin(), ids.end(), channel->id), ids.end());
        ids.push_back(channel->id);
        // Each channel's keys are checked by its own rule: an empty profile passes.
        EXPECT_EQ(channel->checkKeys({}, {"https://www.example.com/", "/nonexistent"}), std::nullopt);
    }
    EXPECT_EQ(findChannel("nothing"), nullptr);
}

} // namespace
