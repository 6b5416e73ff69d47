// 'larkspan submit' with a profile that names a Google service account, against the engine
// simulator playing Google's own hosts inside CONNECT tunnels, so that the built-in addresses
// of the token endpoint and the API are the ones used.
#include "core/google/SearchConsoleChannel.h"
#include "core/profiles/SiteProfile.h"
#include "core/store/SiteStore.h"
#include "core/store/StorePages.h"
#include "platform/Text.h"
#include "support/TestCertificates.h"
#include "tests/common/Files.h"
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"

#include "tests/core/support/DemoCertificates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

constexpr const char* Account = "larkspan@example-project.iam.gserviceaccount.com";

// The account's key file in the folder, readable by its owner only; its path.
std::string writeAccountKey(const TempDir& profiles, const TestCertificates& certs) {
    const std::string keyFile = profiles.file("account.json");
    profiles.write("account.json", "{\"client_email\": \"" + std::string(Account) +
                                       "\", \"private_key_id\": \"k1\", \"private_key\": \"" +
                                       replaceAll(readFile(certs.path("account.key")), "\n", "\\n") +
                                       "\", \"token_uri\": \"https://oauth2.googleapis.com/token\"}");
    std::filesystem::permissions(keyFile,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return keyFile;
}

TEST(SearchConsoleCommand, SubmitsThroughGooglesHostsAndExitsWith3WhenGoogleRefused) {
    const TestCertificates& certs = TestCertificates::get();
    ASSERT_EQ(certs.error(), "");
    TempDir profiles;
    TempDir work;
    const std::string keyFile = writeAccountKey(profiles, certs);
    ProfileFiles store(profiles.str());
    store.save(completeProfile("Alpha", "https://www.example.com/"),
               {{GoogleServiceAccountKey, keyFile}, {SitemapKey, "https://www.example.com/sitemap.xml"}});
    store.save(completeProfile("Zeta", "https://www.example.org/"),
               {{GoogleServiceAccountKey, keyFile}, {SitemapKey, "https://www.example.org/sitemap.xml"}});
    ASSERT_NE(demoCertificates(), "");
    work.write("larkspan.ini", "[Run]\nCatalogue=0\nCAFile=" + demoCertificates() + "/ca.pem\n");
    // The sites, whose sitemaps are read before they are submitted.
    for (const char* site : {"www.example.com", "www.example.org"})
        work.write(std::string("sites/") + site + "/sitemap.xml", "<urlset></urlset>");

    EngineSimulator simulator(
        {}, EngineSimulator::defaultScript(),
        EngineSimulator::Tls{demoCertificates() + "/server.pem", demoCertificates() + "/server.key"},
        {"--google-account", keyFile, "--google-property", "https://www.example.com/=" + std::string(Account),
         "--sites", work.file("sites")});
    auto submit = [&](const std::string& name) {
        RunOptions options;
        options.environment.insert("QT_QPA_PLATFORM", "offscreen");
        options.workingDirectory = QString::fromStdString(work.str());
        return runLarkspan({"submit", "--dir", profiles.str(), "--config", work.file("larkspan.ini"),
                            "--proxy", simulator.address(), name},
                           options);
    };

    // requests shows what a run would send to Google after the catalogue: the token request
    // (without a signed assertion, which is made only when it is sent) and the sitemap's PUT.
    RunOptions plain;
    plain.environment.insert("QT_QPA_PLATFORM", "offscreen");
    const ProgramResult plan =
        runLarkspan({"requests", "--dir", profiles.str(), "--config", work.file("larkspan.ini"), "--proxy",
                     simulator.address(), "Alpha"},
                    plain);
    ASSERT_EQ(plan.exitCode, 0) << plan.err;
    const std::string planned =
        "{\"engine\": \"Google Search Console\", \"method\": \"post\", \"url\": "
        "\"https://oauth2.googleapis.com/token\", \"body\": "
        "\"grant_type=urn:ietf:params:oauth:grant-type:jwt-bearer&assertion=(signed when sent)\"}\n"
        "{\"engine\": \"Google Search Console\", \"method\": \"put\", \"url\": "
        "\"https://www.googleapis.com/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/sitemaps/"
        "https%3A%2F%2Fwww.example.com%2Fsitemap.xml\", \"body\": \"\"}\n";
    ASSERT_GT(plan.out.size(), planned.size());
    EXPECT_EQ(plan.out.substr(plan.out.size() - planned.size()), planned);
    EXPECT_EQ(std::count(plan.out.begin(), plan.out.end(), '\n'), 34);
    // A profile whose key file is gone plans nothing for Google and says why.
    store.save(completeProfile("Gone", "https://www.example.com/"), {{GoogleServiceAccountKey, "gone.json"}});
    const ProgramResult gone =
        runLarkspan({"requests", "--dir", profiles.str(), "--config", work.file("larkspan.ini"), "--proxy",
                     simulator.address(), "Gone"},
                    plain);
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(std::count(gone.out.begin(), gone.out.end(), '\n'), 32);
    EXPECT_NE(gone.err.find("larkspan: Google Search Console: "), std::string::npos) << gone.err;
    EXPECT_NE(gone.err.find("gone.json"), std::string::npos) << gone.err;

    ProgramResult alpha = submit("Alpha");
    ASSERT_EQ(alpha.exitCode, 0) << alpha.err << alpha.out;
    EXPECT_NE(alpha.out.find("\nGoogle Search Console Alpha\n"), std::string::npos) << alpha.out;
    std::vector<EngineSimulator::Request> received;
    for (const auto& request : simulator.requests())
        if (request.method != "GET") received.push_back(request);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].host, "oauth2.googleapis.com");
    EXPECT_EQ(received[0].target, "/token");
    EXPECT_EQ(received[1].host, "www.googleapis.com");
    EXPECT_EQ(received[1].target, "/webmasters/v3/sites/https%3A%2F%2Fwww.example.com%2F/sitemaps/"
                                  "https%3A%2F%2Fwww.example.com%2Fsitemap.xml");
    EXPECT_TRUE(received[0].tls && received[1].tls && received[0].proxy && received[1].proxy);

    // Zeta's property is unknown to Google: the run completes, but says that Google refused.
    ProgramResult zeta = submit("Zeta");
    EXPECT_EQ(zeta.exitCode, 3) << zeta.err;
    EXPECT_NE(zeta.out.find("Google Search Console: the sitemap https://www.example.org/sitemap.xml of "
                            "https://www.example.org/ was not taken: 404 Not Found, the property is unknown"),
              std::string::npos)
        << zeta.out;
    // Neither the key nor a token is ever printed.
    for (const std::string& text : {alpha.out, alpha.err, zeta.out, zeta.err}) {
        EXPECT_EQ(text.find("PRIVATE KEY"), std::string::npos);
        EXPECT_EQ(text.find("ya29."), std::string::npos);
    }
}

// Google's inspection fields reach `status` through the one filter: no escape sequence, no line
// break that forges a line, no override of the text's direction, no TAB that shifts a column.
TEST(SearchConsoleCommand, StatusPrintsGooglesTextWithoutItsControls) {
    const TestCertificates& certs = TestCertificates::get();
    ASSERT_EQ(certs.error(), "");
    TempDir profiles;
    const std::string keyFile = writeAccountKey(profiles, certs);
    ProfileFiles(profiles.str())
        .save(completeProfile("Alpha", "https://www.example.com/"), {{GoogleServiceAccountKey, keyFile}});
    const std::string page = "https://www.example.com/page";
    {
        SiteStore store = SiteStore::open(profiles.str());
        addListedUrls(store, store.site("Alpha"), {page}, 1'700'000'000);
    }
    ASSERT_NE(demoCertificates(), "");
    profiles.write("larkspan.ini", "[Run]\nCAFile=" + demoCertificates() + "/ca.pem\n[Checks]\nPages=0\n");
    EngineSimulator simulator(
        {}, EngineSimulator::defaultScript(),
        EngineSimulator::Tls{demoCertificates() + "/server.pem", demoCertificates() + "/server.key"},
        {"--google-account", keyFile, "--google-property", "https://www.example.com/=" + std::string(Account),
         "--google-inspection", page + "=hostile"});
    RunOptions options;
    options.environment.insert("QT_QPA_PLATFORM", "offscreen");
    const ProgramResult status =
        runLarkspan({"status", "--inspect", "--dir", profiles.str(), "--config",
                     profiles.file("larkspan.ini"), "--proxy", simulator.address(), "Alpha"},
                    options);
    ASSERT_EQ(status.exitCode, 0) << status.err;
    const std::string r = "\xEF\xBF\xBD";
    const std::string coverage = "Crawled" + r + r + "forged line\tshifted " + r + "gpj.exe " + r + "[2J";
    EXPECT_NE(status.out.find("\n  not indexed, " + replaceAll(coverage, "\t", " ") + ": 1\n"),
              std::string::npos)
        << status.out;
    EXPECT_NE(status.out.find("\n" + page + "\t\tpending\tNEUTRAL" + r + "]0;owned" + r + "\t" +
                              replaceAll(coverage, "\t", " ") + "\t\n"),
              std::string::npos)
        << status.out;
    for (const std::string& text : {status.out, status.err})
        EXPECT_EQ(text.find_first_of("\x1b\r\x07"), std::string::npos) << text;
}

} // namespace
