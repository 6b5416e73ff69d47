// Finding a site's sitemaps and reading them: from files without a network, then over HTTP
// from servers the tests start on 127.0.0.1.
#include "tests/core/support/SitemapTestSupport.h"

#include "core/Config.h"
#include "core/channels/LiveSite.h"
#include "core/sitemaps/SitemapSource.h"
#include "core/sitemaps/Sitemaps.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "support/ScriptedServer.h"
#include "tests/common/PythonHttpServer.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

namespace {

std::string urlset(const std::vector<std::string>& locs) {
    std::string s = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const auto& l : locs)
        s += "<url><loc>" + l + "</loc></url>";
    return s + "</urlset>";
}

std::string index(const std::vector<std::string>& locs) {
    std::string s = "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const auto& l : locs)
        s += "<sitemap><loc>" + l + "</loc></sitemap>";
    return s + "</sitemapindex>";
}

std::vector<std::string> urlsOf(const SiteSitemaps& s) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.urls.size(); ++i)
        out.emplace_back(s.urls.url(i));
    return out;
}

Url url(const std::string& text) {
    return Url::parse(text).value();
}

TEST(Sitemaps, ScopeIsTheSitemapsOriginAndFolder) {
    const Url site = url("http://example.com/");
    SitemapScope shop(url("http://Example.com:80/shop/sitemap.xml?v=2"), site);
    EXPECT_TRUE(shop.contains("http://example.com/shop/a"));
    EXPECT_TRUE(shop.contains("HTTP://EXAMPLE.COM/shop/b/c?d"));
    EXPECT_FALSE(shop.contains("http://example.com/shopping"));
    EXPECT_FALSE(shop.contains("http://example.com/other/a"));
    EXPECT_FALSE(shop.contains("https://example.com/shop/a"));
    EXPECT_FALSE(shop.contains("http://example.com:8080/shop/a"));
    EXPECT_FALSE(shop.contains("http://www.example.com/shop/a"));
    EXPECT_FALSE(shop.contains("http://example.com/shop/../admin"));
    EXPECT_FALSE(shop.contains("http://example.com/shop/%2e%2e/admin"));
    EXPECT_TRUE(SitemapScope(url("https://example.com/sitemap.xml"), url("https://example.com/"))
                    .contains("https://example.com:443/x"));
    // A sitemap on another host, named by the site's robots.txt, speaks for the site's origin.
    SitemapScope cross(url("https://cdn.example.net/maps/site.xml"), url("https://example.com/"));
    EXPECT_TRUE(cross.contains("https://example.com/any/page"));
    EXPECT_FALSE(cross.contains("https://cdn.example.net/maps/a"));
    EXPECT_FALSE(isSitemapUrl("http://example.com/a b"));
    EXPECT_FALSE(isSitemapUrl("ftp://example.com/a"));
    EXPECT_FALSE(isSitemapUrl("http://example.com/" + std::string(2040, 'a')));
}

TEST(Sitemaps, RobotsIndexAndGzipChildGiveOneListInDocumentOrder) {
    FileSource web;
    web.files["http://site.test/robots.txt"] = "User-agent: *\r\nDisallow: /private\r\n"
                                               "SITEMAP: http://site.test/index.xml   # the index\r\n"
                                               "sitemap:/blog/sitemap.xml\r\n"
                                               "Sitemap: http://elsewhere.test/sitemap.xml\r\n";
    web.files["http://site.test/index.xml"] =
        index({"http://site.test/a.xml.gz", "http://site.test/index.xml", "http://other.test/c.xml",
               "http://site.test/nested.xml", "http://site.test/b.xml"});
    web.files["http://site.test/a.xml.gz"] =
        gzipped(urlset({"http://site.test/1", "http://site.test/2", "http://site.test/1"}));
    web.files["http://site.test/b.xml"] = urlset({"http://site.test/3", "http://site.test/2"});
    web.files["http://site.test/nested.xml"] = index({"http://site.test/deeper.xml"});
    web.files["http://site.test/blog/sitemap.xml"] =
        urlset({"http://site.test/blog/p", "http://site.test/not-blog", "https://site.test/blog/q"});
    web.files["http://site.test/deeper.xml"] = urlset({"http://site.test/deep"});
    web.files["http://elsewhere.test/sitemap.xml"] =
        urlset({"http://site.test/from-elsewhere", "http://elsewhere.test/own"});

    SiteSitemaps s = readSitemaps("http://site.test/", "", web, {1'000'000});
    EXPECT_EQ(s.sitemaps,
              (std::vector<std::string>{"http://site.test/index.xml", "http://site.test/blog/sitemap.xml",
                                        "http://elsewhere.test/sitemap.xml"}));
    // The sitemap on another host that robots.txt names counts for the site's URLs only.
    EXPECT_EQ(urlsOf(s),
              (std::vector<std::string>{"http://site.test/1", "http://site.test/2", "http://site.test/3",
                                        "http://site.test/blog/p", "http://site.test/from-elsewhere"}));
    EXPECT_EQ(s.filesRead, 6); // the index, a, nested (found to be an index), b, blog, elsewhere
    EXPECT_EQ(s.duplicates, 2u);
    EXPECT_EQ(s.dropped, 3u);
    EXPECT_EQ(s.problems,
              (std::vector<std::string>{
                  "http://site.test/index.xml: the sitemap index lists itself; that entry is skipped",
                  "http://site.test/index.xml: the sitemap index lists http://other.test/c.xml on "
                  "another host; it is not read",
                  "http://site.test/nested.xml: it is a sitemap index inside the sitemap index "
                  "http://site.test/index.xml; sitemaps nest only one level deep, so it is not read",
              }));
    for (const std::string& url : web.fetched) {
        EXPECT_EQ(url.find("other.test"), std::string::npos);
        EXPECT_NE(url, "http://site.test/deeper.xml");
    }
}

TEST(Sitemaps, FallbacksKeysAndTheTotalBound) {
    FileSource web;
    web.files["http://site.test/sitemap.xml"] = urlset({"http://site.test/a", "http://site.test/b"});
    // No robots.txt: /sitemap.xml, found without a problem.
    SiteSitemaps none = readSitemaps("site.test", "", web, {10});
    EXPECT_EQ(none.sitemaps, std::vector<std::string>{"http://site.test/sitemap.xml"});
    EXPECT_EQ(none.urls.size(), 2u);
    EXPECT_TRUE(none.problems.empty());
    // The key names a sitemap: robots.txt is not asked.
    web.fetched.clear();
    SiteSitemaps keyed = readSitemaps("http://site.test/", "http://site.test/sitemap.xml", web, {1});
    EXPECT_EQ(web.fetched, std::vector<std::string>{"http://site.test/sitemap.xml"});
    EXPECT_EQ(urlsOf(keyed), std::vector<std::string>{"http://site.test/a"});
    EXPECT_EQ(keyed.overLimit, 1);
    EXPECT_EQ(keyed.problems.back(),
              "http://site.test/sitemap.xml: the sitemaps list more than 1 URLs in all "
              "([Sitemaps] MaxURLs); the first 1 are kept and nothing further is read");
    // A robots.txt of 10 MB is read only as far as its first 500 KiB.
    std::string robots;
    while (robots.size() < 10'000'000)
        robots += "Disallow: /some/long/path/that/repeats/itself\n";
    robots += "Sitemap: http://site.test/late.xml\n";
    web.files["http://site.test/other-robots.txt"] = robots;
    web.files["http://site.test/robots.txt"] = robots;
    web.piece = 65536;
    web.bytesHandedOut = 0;
    std::vector<std::string> problems;
    EXPECT_EQ(findSitemaps(url("http://site.test"), "http://site.test/robots.txt", web, problems),
              std::vector<std::string>{"http://site.test/sitemap.xml"});
    EXPECT_LE(web.bytesHandedOut, RobotsMaxBytes + 65536);
    EXPECT_EQ(problems,
              std::vector<std::string>{"http://site.test/robots.txt: it is larger than 512,000 bytes; "
                                       "only the lines in its first 512,000 bytes are read"});
}

TEST(Sitemaps, BatchesOfAnIndexMergeInDocumentOrderAndNothingIsFetchedOnceTheListIsFull) {
    // Ten sitemaps of three URLs, the last URL of each repeated by the next, one missing: read
    // four at a time, each batch merged while the next is read.
    FileSource web;
    std::vector<std::string> children, all;
    for (int f = 0; f < 10; ++f) {
        const std::string child = "http://site.test/s" + std::to_string(f) + ".xml";
        children.push_back(child);
        if (f == 5) continue;
        std::vector<std::string> locs;
        for (int i = 0; i < 3; ++i)
            locs.push_back("http://site.test/p" + std::to_string(f * 2 + i));
        web.files[child] = urlset(locs);
        all.insert(all.end(), locs.begin() + (f == 0 || f == 6 ? 0 : 1), locs.end());
    }
    web.files["http://site.test/index.xml"] = index(children);

    for (const std::size_t bound : {std::size_t{1'000}, std::size_t{11}}) {
        web.fetched.clear();
        const SiteSitemaps s = readSitemaps("http://site.test/", "http://site.test/index.xml", web, {bound});
        const std::size_t kept = std::min(bound, all.size());
        EXPECT_EQ(urlsOf(s), std::vector<std::string>(all.begin(), all.begin() + kept)) << bound;
        EXPECT_EQ(s.problems.front(), "http://site.test/s5.xml: the server answered with status 404");
        // 11 URLs fill the list in the second batch: the third is not fetched.
        EXPECT_EQ(web.fetched.size(), bound == 11 ? 9u : 11u);
        EXPECT_EQ(s.overLimit, bound == 11 ? 1 : 0);
    }

    // A reader that ends at once (a document type) ends its transfer soon after: no more than
    // the megabyte that may wait for a reader is handed out of 20 MB.
    web.files["http://site.test/s1.xml"] = "<!DOCTYPE urlset>" + std::string(20 << 20, ' ');
    web.piece = 65536;
    web.bytesHandedOut = 0;
    const SiteSitemaps s = readSitemaps("http://site.test/", "http://site.test/index.xml", web, {1'000});
    EXPECT_EQ(s.problems.front().rfind("http://site.test/s1.xml: ", 0), 0u) << s.problems.front();
    EXPECT_LT(web.bytesHandedOut, 3u << 20);
}

TEST(Sitemaps, TheTotalBoundComesFromTheConfiguration) {
    std::vector<std::string> warnings;
    Config config;
    EXPECT_EQ(config.sitemapMaxUrls, 1'000'000u);
    config.apply(IniFile::parse("[Sitemaps]\nMaxURLs = 2500\n"), "test.ini", warnings);
    EXPECT_EQ(config.sitemapMaxUrls, 2500u);
    EXPECT_TRUE(warnings.empty());
    for (const char* bad : {"0", "-1", "1e6", "100000001"})
        EXPECT_THROW(
            config.apply(IniFile::parse(std::string("[Sitemaps]\nMaxURLs=") + bad), "test.ini", warnings),
            LarkspanError)
            << bad;
}

TEST(SitemapsOverHttp, AnIndexWithAGzipChildIsReadFromALoopbackServer) {
    TempDir root;
    PythonHttpServer server(root.str());
    ASSERT_NE(server.port(), 0);
    const std::string site = "http://127.0.0.1:" + std::to_string(server.port());
    std::vector<std::string> many;
    for (int i = 0; i < 20'000; ++i)
        many.push_back(site + "/page/" + std::to_string(i));
    root.write("robots.txt", "sitemap: " + site + "/maps/index.xml\n");
    root.write("maps/index.xml", index({site + "/maps/a.xml.gz", site + "/maps/missing.xml"}));
    root.write("maps/a.xml.gz", gzipped(urlset(many)));
    LiveClient client(liveClientSettings(Config{}));
    ClientSitemapSource web(client);
    SiteSitemaps s = readSitemaps(site + "/", "", web, {1'000'000});
    // The child lives in /maps/, so pages outside it are not its to list.
    EXPECT_EQ(s.urls.size(), 0u);
    EXPECT_EQ(s.dropped, 20'000u);
    root.write("maps/a.xml.gz", gzipped(urlset({site + "/maps/x", site + "/maps/y"})));
    s = readSitemaps(site + "/", "", web, {1'000'000});
    EXPECT_EQ(urlsOf(s), (std::vector<std::string>{site + "/maps/x", site + "/maps/y"}));
    EXPECT_EQ(s.filesRead, 2);
    EXPECT_EQ(s.problems,
              std::vector<std::string>{site + "/maps/missing.xml: the server answered with status 404"});
}

TEST(SitemapsOverHttp, AnEndlessBodyIsCutAtTheProtocolsSize) {
    ScriptedServer server;
    const std::string here = "http://127.0.0.1:" + std::to_string(server.port());
    server.setScripts({
        {ScriptedServer::send("HTTP/1.0 200 OK\r\n\r\n<urlset><url><loc>" + here + "/a</loc></url>"),
         ScriptedServer::sendForever(std::string(65536, ' '))},
    });
    LiveClient client(liveClientSettings(Config{}));
    ClientSitemapSource web(client);
    SiteSitemaps endless = readSitemaps(here, here + "/sitemap.xml", web, {100});
    EXPECT_EQ(urlsOf(endless), std::vector<std::string>{here + "/a"});
    EXPECT_EQ(endless.overLimit, 1);
    EXPECT_LT(server.bytesSentForever(), 200ll << 20);
}

// A sitemap whose body ends before its end, however it ends (the deadline, a connection closed
// or reset): the entries before the cut are kept, and the file is a problem that says how much
// came and why, not a file read.
TEST(SitemapsOverHttp, ASitemapCutShortIsAProblemAndNoFileRead) {
    struct Case {
        std::string head;
        ScriptedServer::Step end;
        std::string cause;
    };
    const std::vector<Case> cases = {
        {"Content-Length: 5000", ScriptedServer::holdOpen(std::chrono::milliseconds(5000)),
         "no complete answer within 1 s"},
        {"Content-Length: 5000", ScriptedServer::close(), "remaining to read"},
        {"Transfer-Encoding: chunked", ScriptedServer::reset(), "reset"},
    };
    for (const Case& c : cases) {
        ScriptedServer server;
        const std::string here = "http://127.0.0.1:" + std::to_string(server.port());
        std::string body = "<urlset><url><loc>" + here + "/a</loc></url><url><loc>" + here + "/b</loc></url>";
        const std::size_t bytes = body.size();
        if (c.head.find("chunked") != std::string::npos) {
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", body.size());
            body = size + body + "\r\n";
        }
        server.setScripts(
            {{ScriptedServer::send("HTTP/1.1 200 OK\r\n" + c.head + "\r\n\r\n" + body), c.end}});
        Config config;
        config.requestDeadlineSeconds = 1;
        LiveClient client(liveClientSettings(config));
        ClientSitemapSource web(client);
        const SiteSitemaps s = readSitemaps(here, here + "/sitemap.xml", web, {100});
        EXPECT_EQ(urlsOf(s), (std::vector<std::string>{here + "/a", here + "/b"})) << c.head;
        ASSERT_EQ(s.problems.size(), 1u) << c.head;
        const std::string& problem = s.problems[0];
        EXPECT_EQ(
            problem.rfind(here + "/sitemap.xml: cut short after " + std::to_string(bytes) + " bytes: ", 0),
            0u)
            << problem;
        EXPECT_NE(problem.find(c.cause), std::string::npos) << problem;
        EXPECT_TRUE(problem.ends_with("; the 2 entries read before are kept")) << problem;
        EXPECT_EQ(s.filesRead, 0) << c.head;
        EXPECT_TRUE(s.sitemapsRead.empty()) << c.head;
    }
}

// A sitemap of an index that redirects to another host is not followed there.
TEST(SitemapsOverHttp, AnIndexChildThatRedirectsToAnotherHostIsRefused) {
    ScriptedServer elsewhere(
        {{ScriptedServer::send("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n<urlset/>")}});
    const std::string there = "http://127.0.0.1:" + std::to_string(elsewhere.port());
    ScriptedServer server;
    const std::string here = "http://127.0.0.1:" + std::to_string(server.port());
    const std::string indexXml = index({here + "/child.xml"});
    server.setScripts({
        {ScriptedServer::send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(indexXml.size()) +
                              "\r\n\r\n" + indexXml)},
        {ScriptedServer::send("HTTP/1.1 302 Found\r\nLocation: " + there +
                              "/child.xml\r\nContent-Length: 0\r\n\r\n")},
    });
    LiveClient client(liveClientSettings(Config{}));
    ClientSitemapSource web(client);
    const SiteSitemaps s = readSitemaps(here, here + "/index.xml", web, {100});
    EXPECT_EQ(elsewhere.connections(), 0);
    ASSERT_EQ(s.problems.size(), 1u);
    EXPECT_EQ(s.problems[0].rfind(here + "/child.xml: refused to follow a redirect to another origin", 0), 0u)
        << s.problems[0];
}

} // namespace
