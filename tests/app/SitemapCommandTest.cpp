// 'larkspan sitemap' run as the built program against a site on a loopback server.
#include "core/profiles/SiteProfile.h"
#include "core/store/SiteStore.h"
#include "tests/common/PythonHttpServer.h"
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(SitemapCommand, PrintsChangedUrlsWithLastmodAndASummary) {
    TempDir site;
    PythonHttpServer server(site.str());
    ASSERT_NE(server.port(), 0);
    const std::string home = server.address();
    site.write("robots.txt", "User-agent: *\nSitemap: " + home + "/sitemap.xml\n");
    site.write("sitemap.xml", "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
                              "<url><loc>" +
                                  home +
                                  "/a</loc><lastmod>2024-05-06T07:08+02:00</lastmod></url>"
                                  "<url><loc>" +
                                  home +
                                  "/b</loc></url>"
                                  "<url><loc>http://elsewhere.test/c</loc></url></urlset>");
    TempDir profiles;
    ProfileFiles store(profiles.str());
    SiteProfile shop;
    shop[fSiteTitle] = "Shop";
    shop[fURL] = home + "/";
    store.save(shop);
    // The IndexNow channel took /b already; it has no lastmod, so it is not new again. (An old
    // state file is imported by the command.)
    profiles.write("Shop.state", "larkspan-state 1\nC\tindexnow\nA\t1000\t" + home + "/b\n");

    ProgramResult changed = runLarkspan({"sitemap", "--dir", profiles.str(), "Shop"});
    EXPECT_EQ(changed.exitCode, 0) << changed.err;
    EXPECT_EQ(changed.out, home + "/a\t2024-05-06T05:08:00Z\n");
    EXPECT_EQ(changed.err,
              "larkspan: Imported 1 acceptance of Shop from Shop.state into " +
                  SiteStore::fileName(profiles.str()) +
                  " (0 damaged lines skipped); the file is renamed Shop.state.imported\n"
                  "larkspan: 1 sitemap file read, 2 URLs kept, 1 dropped, 0 duplicates, 0 over a "
                  "limit; 1 changed\n");
    ProgramResult all = runLarkspan({"sitemap", "--all", "--dir", profiles.str(), "Shop"});
    EXPECT_EQ(all.out, home + "/a\t2024-05-06T05:08:00Z\n" + home + "/b\t\n");

    // Nothing to read: a message and exit status 1.
    site.write("robots.txt", "");
    std::filesystem::remove(site / "sitemap.xml");
    ProgramResult none = runLarkspan({"sitemap", "--dir", profiles.str(), "Shop"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "larkspan: " + home +
                            "/sitemap.xml: the server answered with status 404\n"
                            "larkspan: no sitemap of \"Shop\" could be read\n");
    EXPECT_EQ(runLarkspan({"sitemap", "--dir", profiles.str()}).exitCode, 2);
}

TEST(SitemapCommand, ControlCharactersFromTheSiteArePrintedReplaced) {
    TempDir site;
    PythonHttpServer server(site.str());
    ASSERT_NE(server.port(), 0);
    const std::string home = server.address();
    const std::string r = "\xEF\xBF\xBD";
    site.write("robots.txt",
               "Sitemap: " + home + "/sitemap.xml\nSitemap: " + home + "/\x1b]0;owned\x07.xml\n");
    site.write("sitemap.xml", "<urlset><url><loc>" + home +
                                  "/c\xC2\x9B"
                                  "31m</loc></url></urlset>");
    TempDir profiles;
    ProfileFiles store(profiles.str());
    SiteProfile shop;
    shop[fSiteTitle] = "Shop";
    shop[fURL] = home + "/";
    store.save(shop);
    ProgramResult result = runLarkspan({"sitemap", "--all", "--dir", profiles.str(), "Shop"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // A sitemap's URL is printed as its key, in which the control character is percent-encoded.
    EXPECT_EQ(result.out, home + "/c%C2%9B31m\t\n");
    EXPECT_NE(result.err.find("/" + r + "]0;owned" + r + ".xml\" is not a URL"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos);
    EXPECT_EQ(result.err.find('\x07'), std::string::npos);
}

} // namespace
