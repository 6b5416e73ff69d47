// The channel table, and its channels' dry run: what it takes instead of sending is what a run
// then sends, both against the engine simulator on loopback; and each declaration's docs page is
// where the docs index says.
#include "core/channels/ChannelTable.h"
#include "core/Config.h"
#include "core/channels/ChannelPlan.h"
#include "core/google/SearchConsoleChannel.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "core/run/HttpRunClient.h"
#include "core/run/LiveChannels.h"
#include "core/run/SubmissionRun.h"
#include "core/store/SiteStore.h"
#include "platform/Text.h"
#include "support/TestCertificates.h"
#include "tests/common/Files.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/DemoCertificates.h"
#include "tests/core/support/RunFakes.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr const char* Key = "0123456789abcdef";
constexpr const char* Account = "larkspan@example-project.iam.gserviceaccount.com";
constexpr const char* SitemapUrl = "https://www.example.com/sitemap.xml";

// The simulator plays the site www.example.com, IndexNow's endpoint and Google's hosts inside
// CONNECT tunnels, so that the channels' built-in addresses are the ones used.
class DryRunTest : public ::testing::Test {
protected:
    TempDir dir;
    Config config;
    std::unique_ptr<EngineSimulator> simulator;

    void SetUp() override {
        const TestCertificates& certs = TestCertificates::get();
        ASSERT_EQ(certs.error(), "");
        ASSERT_NE(demoCertificates(), "");
        dir.write("profiles/account.json", "{\"type\": \"service_account\", \"client_email\": \"" +
                                               std::string(Account) +
                                               "\", \"private_key_id\": \"k1\", \"private_key\": \"" +
                                               replaceAll(readFile(certs.path("account.key")), "\n", "\\n") +
                                               "\", \"token_uri\": \"https://oauth2.googleapis.com/token\"}");
        std::filesystem::permissions(dir.file("profiles/account.json"),
                                     std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write);
        dir.write("sites/www.example.com/sitemap.xml",
                  "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
                  "<url><loc>https://www.example.com/a</loc></url>"
                  "<url><loc>https://elsewhere.example/b</loc></url></urlset>");
        dir.write("sites/www.example.com/" + std::string(Key) + ".txt", Key);
        simulator = std::make_unique<EngineSimulator>(
            std::vector<std::string>{}, EngineSimulator::defaultScript(),
            EngineSimulator::Tls{demoCertificates() + "/server.pem", demoCertificates() + "/server.key"},
            std::vector<std::string>{"--google-account", dir.file("profiles/account.json"),
                                     "--google-property", "https://www.example.com/=" + std::string(Account),
                                     "--sites", dir.file("sites")});
        config.catalogue = false;
        config.checkPages = false;
        config.caFile = demoCertificates() + "/ca.pem";
        config.proxy = simulator->address();
        ProfileFiles(dir.file("profiles"))
            .save(completeProfile("Garden", "https://www.example.com/"),
                  {{IndexNowKeyKey, Key},
                   {IndexNowFirstRunKey, "all"},
                   {SitemapKey, SitemapUrl},
                   {GoogleServiceAccountKey, "account.json"}});
    }

    // What a dry run of the table's channels took for the profile ("METHOD URL BODY") and said.
    struct DryRun {
        std::vector<std::string> taken;
        std::vector<std::string> said;
        bool refused = false;
    };
    DryRun dryRun(const std::string& name) {
        const ProfileFiles profiles(dir.file("profiles"));
        const LoadedProfile profile = profiles.loadWhole(name);
        SubmissionFields fields;
        PrepareProfile(fields, profile.fields);
        DryRun result;
        PlanRun run(config, profiles.directory(), name, profile, fields,
                    [&](const std::string& line) { result.said.push_back(line); });
        for (const PlannedRequest& r : planChannels(run))
            result.taken.push_back(std::string(methodName(r.method)) + " " + r.url + " " + r.body);
        result.refused = run.refusedAny();
        return result;
    }
    // What the simulator received that is not a GET, from the index'th request on.
    std::vector<std::string> receivedSince(std::size_t index) const {
        std::vector<std::string> out;
        const std::vector<EngineSimulator::Request> all = simulator->requests();
        for (std::size_t i = index; i < all.size(); ++i)
            if (all[i].method != "GET")
                out.push_back(all[i].method + " https://" + all[i].host + all[i].target + " " + all[i].body);
        return out;
    }
};

TEST_F(DryRunTest, TakesWhatARunThenSendsAndSendsNothingThatChangesAService) {
    const DryRun dry = dryRun("Garden");
    EXPECT_FALSE(dry.refused);
    // A dry run makes no store; it says that there is none.
    EXPECT_EQ(dry.said, std::vector<std::string>{"there is no store in " + dir.file("profiles") +
                                                 " yet: every page counts as new"});
    EXPECT_FALSE(std::filesystem::exists(SiteStore::fileName(dir.file("profiles"))));
    const std::vector<std::string>& taken = dry.taken;
    const std::string put =
        "PUT https://www.googleapis.com/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/"
        "sitemaps/https%3A%2F%2Fwww.example.com%2Fsitemap.xml ";
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0], "POST https://api.indexnow.org/indexnow {\"host\":\"www.example.com\",\"key\":\"" +
                            std::string(Key) +
                            "\",\"urlList\":[\"https://www.example.com/\",\"https://www.example.com/a\"]}");
    // The assertion is as good as the key for an hour: a dry run never holds one.
    EXPECT_EQ(taken[1],
              "POST https://oauth2.googleapis.com/token "
              "grant_type=urn:ietf:params:oauth:grant-type:jwt-bearer&assertion=(signed when sent)");
    EXPECT_EQ(taken[2], put);
    EXPECT_EQ(receivedSince(0), std::vector<std::string>{});

    // The run sends the same, signed, and then goes on to ask Google about the pages, which the
    // dry run does not show.
    const std::size_t before = simulator->requests().size();
    FakeRunHost host{dir.file("profiles")};
    HttpRunClient client;
    SubmissionRun run(host, client, config);
    run.Start();
    run.setProfileDirectory(dir.file("profiles"));
    addLiveChannels(run);
    run.Submit({"Garden"});
    EXPECT_FALSE(run.liveRefused());
    const std::vector<std::string> sent = receivedSince(before);
    ASSERT_GT(sent.size(), taken.size());
    EXPECT_EQ(sent[0], taken[0]);
    EXPECT_EQ(
        sent[1].rfind("POST https://oauth2.googleapis.com/token grant_type=urn:ietf:params:oauth:grant-type:"
                      "jwt-bearer&assertion=ey",
                      0),
        0u);
    EXPECT_EQ(sent[2], put);
    for (std::size_t i = taken.size(); i < sent.size(); ++i)
        EXPECT_NE(sent[i].find("/v1/urlInspection/index:inspect"), std::string::npos) << sent[i];

    // The store now holds what IndexNow accepted: the next run has nothing to send there.
    EXPECT_EQ(dryRun("Garden").taken, (std::vector<std::string>{taken[1], taken[2]}));
}

TEST_F(DryRunTest, AKeyFileThatIsNotThereKeepsGoogleFromTakingAnythingAndSaysWhy) {
    ProfileFiles(dir.file("profiles"))
        .save(completeProfile("Gone", "https://www.example.com/"),
              {{GoogleServiceAccountKey, "absent.json"}, {SitemapKey, SitemapUrl}});
    const DryRun dry = dryRun("Gone");
    EXPECT_TRUE(dry.taken.empty());
    EXPECT_TRUE(dry.refused);
    ASSERT_EQ(dry.said.size(), 2u);
    EXPECT_NE(dry.said[1].find("absent.json"), std::string::npos) << dry.said[1];
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
