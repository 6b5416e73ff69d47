// The headless IndexNow commands as the built program: `key`, the POST lines of `requests`,
// and the exit status of `submit`, against the engine simulator's site and endpoint over TLS.
#include "core/indexnow/IndexNowSubmission.h"
#include "core/profiles/SiteProfile.h"
#include "platform/Json.h"
#include "support/TestCertificates.h"
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const std::string Key = "a1b2c3d4e5f60718293a4b5c6d7e8f90";

class IndexNowCommandTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<EngineSimulator> simulator;
    std::string site;

    void SetUp() override {
        const TestCertificates& certs = TestCertificates::get();
        if (!certs.error().empty()) GTEST_SKIP() << certs.error();
        dir.write("sites/127.0.0.1/sitemap.xml", "");
        simulator =
            std::make_unique<EngineSimulator>(std::vector<std::string>{}, EngineSimulator::defaultScript(),
                                              EngineSimulator::Tls{certs.path("server.pem"), certs.key()},
                                              std::vector<std::string>{"--sites", dir.file("sites")});
        site = "https://127.0.0.1:" + std::to_string(simulator->port());
        dir.write("sites/127.0.0.1/sitemap.xml",
                  "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><url><loc>" + site +
                      "/a\"b</loc></url></urlset>");
        // These tests are about the sending, not about the pages (page checks have their own).
        dir.write("larkspan.ini",
                  "[Run]\nCatalogue=0\n[Checks]\nPages=0\n[IndexNow]\nEndpoints=" + site + "/indexnow\n");
        std::filesystem::create_directories(dir / "profiles");
    }
    void profile(const std::string& title, const std::string& key) {
        ProfileFiles(dir.file("profiles"))
            .save(completeProfile(title, site + "/"),
                  {{IndexNowKeyKey, key}, {"Sitemap", site + "/sitemap.xml"}});
    }
    ProgramResult larkspan(std::vector<std::string> args) {
        args.insert(args.begin() + 1, {"--dir", dir.file("profiles"), "--config", dir.file("larkspan.ini"),
                                       "--cacert", TestCertificates::get().ca()});
        RunOptions options;
        options.environment.insert("XDG_STATE_HOME", QString::fromStdString(dir.file("state")));
        options.environment.insert("QT_QPA_PLATFORM", "offscreen");
        return runLarkspan(args, options);
    }
};

TEST_F(IndexNowCommandTest, KeyPrintsGeneratesAndChecks) {
    profile("Garden", "");
    ProgramResult none = larkspan({"key", "Garden"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err, "larkspan: \"Garden\" has no IndexNow key; larkspan key --generate makes one\n");
    EXPECT_EQ(larkspan({"key", "--generate", "--check", "Garden"}).exitCode, 2);

    ProgramResult made = larkspan({"key", "--generate", "Garden"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string key = made.out.substr(0, made.out.size() - 1);
    EXPECT_EQ(indexNowKeyProblem(key), "");
    EXPECT_EQ(key.size(), 32u);
    EXPECT_EQ(ProfileFiles(dir.file("profiles")).loadExtra("Garden", IndexNowKeyKey), key);
    EXPECT_EQ(larkspan({"key", "Garden"}).out, key + "\n");

    ProgramResult missing = larkspan({"key", "--check", "Garden"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "larkspan: The key file " + site + "/" + key +
                               ".txt cannot be read: the server answered with status 404.\n");
    dir.write("sites/127.0.0.1/" + key + ".txt", key + "\n");
    ProgramResult there = larkspan({"key", "--check", "Garden"});
    EXPECT_EQ(there.exitCode, 0) << there.err;
    EXPECT_EQ(there.out, "The key file " + site + "/" + key + ".txt is there and holds the key.\n");
}

TEST_F(IndexNowCommandTest, RequestsPrintsThePostsAndSubmitSaysWhenOneWasRefused) {
    profile("Garden", Key);
    const std::string head = "{\"host\":\"127.0.0.1:" + std::to_string(simulator->port()) + "\",\"key\":\"" +
                             Key + "\",\"urlList\":[\"" + site + "/\"";
    auto post = [&](const std::string& body) {
        return "{\"engine\": \"IndexNow (127.0.0.1)\", \"method\": \"post\", \"url\": \"" + site +
               "/indexnow\", \"body\": " + jsonString(body) + "}\n";
    };
    // The first run sends the profile URL and what changed in the last 48 hours: the sitemap's
    // page has no lastmod, so it would be recorded as known; --all-pages sends it too.
    struct Case {
        std::vector<std::string> args;
        std::string last;
        std::string err;
    };
    const std::vector<Case> cases{
        {{"requests", "Garden"},
         post(head + "]}"),
         "larkspan: first run: 1 URL would be recorded as known without being sent (--all-pages sends "
         "them)\n"},
        {{"requests", "--all-pages", "Garden"}, post(head + ",\"" + site + "/a%22b\"]}"), ""},
    };
    // A dry run makes no store: it says that there is none, and every page counts as new.
    const std::string noStore =
        "larkspan: there is no store in " + dir.file("profiles") + " yet: every page counts as new\n";
    for (const Case& c : cases) {
        ProgramResult requests = larkspan(c.args);
        ASSERT_EQ(requests.exitCode, 0) << requests.err;
        ASSERT_GT(requests.out.size(), c.last.size());
        EXPECT_EQ(requests.out.substr(requests.out.size() - c.last.size()), c.last);
        EXPECT_EQ(requests.err, noStore + c.err);
        // The catalogue's 32 lines come first; nothing was submitted.
        EXPECT_EQ(std::count(requests.out.begin(), requests.out.end(), '\n'), 33);
    }
    for (const auto& r : simulator->requests())
        EXPECT_EQ(r.method, "GET");

    // No key file on the site: the endpoint refuses, and submit says so in its status.
    ProgramResult refused = larkspan({"submit", "--all-pages", "Garden"});
    EXPECT_EQ(refused.exitCode, 3) << refused.err;
    EXPECT_NE(refused.out.find("IndexNow (127.0.0.1) refused 2 URLs of Garden: 403 Forbidden"),
              std::string::npos)
        << refused.out;

    // A site whose sitemap cannot be fetched could not be read: nothing is sent, standard error
    // says so, and the status is that of a refusal.
    const std::size_t before = simulator->requests().size();
    ProfileFiles(dir.file("profiles"))
        .save(completeProfile("Gone", site + "/"),
              {{IndexNowKeyKey, Key}, {"Sitemap", "https://127.0.0.1:1/s.xml"}});
    ProgramResult unread = larkspan({"submit", "Gone"});
    EXPECT_EQ(unread.exitCode, 3) << unread.err;
    EXPECT_NE(unread.err.find("larkspan: Gone could not be read: its sitemap could not be fetched ("),
              std::string::npos)
        << unread.err;
    EXPECT_NE(unread.out.find("Gone could not be read: "), std::string::npos) << unread.out;
    for (std::size_t i = before; i < simulator->requests().size(); ++i)
        EXPECT_EQ(simulator->requests()[i].method, "GET");

    dir.write("sites/127.0.0.1/" + Key + ".txt", Key);
    ProgramResult accepted = larkspan({"submit", "Garden"});
    EXPECT_EQ(accepted.exitCode, 0) << accepted.out;
    EXPECT_NE(accepted.out.find("\nIndexNow (127.0.0.1) Garden\n"), std::string::npos) << accepted.out;
}

} // namespace
