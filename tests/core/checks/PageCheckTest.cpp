// The analysis of one fetched page: status and redirects, X-Robots-Tag, the head's robots meta
// tags and canonical link, robots.txt, and the verdict for each crawler; then pages that try
// to break the parser.
#include "core/checks/PageCheck.h"
#include "core/checks/PageSignals.h"
#include "core/checks/PageUrl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;
const std::string Page = "https://site.test/a/page.html";

PageFetch fetched(int status, Headers headers, std::string body) {
    PageFetch f;
    f.url = Page;
    f.hops = {{Page, status}};
    f.finalUrl = Page;
    f.headers = std::move(headers);
    if (f.headers.empty()) f.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    f.body = std::move(body);
    return f;
}

std::string head(const std::string& inside) {
    return "<!doctype html><html><head>" + inside + "</head><body>x</body></html>";
}

struct Case {
    const char* what;
    PageFetch fetch;
    Verdict google;
    std::string googleDetail;
    Verdict bing;
    std::string bingDetail;
};

std::vector<Case> cases() {
    PageFetch redirected = fetched(200, {}, head(""));
    redirected.hops = {{Page, 301}, {"https://site.test/b", 200}};
    redirected.finalUrl = "https://site.test/b";
    PageFetch notFollowed = fetched(308, {{"Location", "../elsewhere?x=%7e"}}, "");
    PageFetch noAnswer = fetched(0, {}, "");
    noAnswer.error = "connection refused";
    PageFetch blockedForBing = fetched(404, {}, "");
    blockedForBing.bingbot = RobotsDecision::Disallowed;
    PageFetch blockedForGoogle = fetched(200, {}, head(""));
    blockedForGoogle.googlebot = RobotsDecision::Disallowed;
    const std::string noindex = "X-Robots-Tag: ";
    const auto refresh = [](const std::string& content) {
        return fetched(200, {}, head("<meta http-equiv=Refresh content=\"" + content + "\">"));
    };
    const auto linked = [](Headers links, const std::string& inside = "") {
        links.insert(links.begin(), {"Content-Type", "text/html"});
        return fetched(200, std::move(links), head(inside));
    };
    const std::string disagree =
        "the canonicals of the Link header and of the document disagree; both are ignored";
    const std::string past = "<meta name=robots content='unavailable_after: ";
    return {
        {"a plain page", fetched(200, {}, head("<title>t</title>")), Verdict::Ok, "", Verdict::Ok, ""},
        {"followed redirect", redirected, Verdict::Redirect, "https://site.test/b", Verdict::Redirect,
         "https://site.test/b"},
        {"redirect not followed", notFollowed, Verdict::Redirect, "https://site.test/elsewhere?x=~",
         Verdict::Redirect, "https://site.test/elsewhere?x=~"},
        {"404", fetched(404, {}, head("")), Verdict::NotFound, "status 404", Verdict::NotFound, "status 404"},
        {"410", fetched(410, {}, ""), Verdict::Gone, "status 410", Verdict::Gone, "status 410"},
        {"500", fetched(500, {}, ""), Verdict::Error, "status 500", Verdict::Error, "status 500"},
        {"no answer", noAnswer, Verdict::Error, "connection refused", Verdict::Error, "connection refused"},
        {"robots.txt closes bingbot", blockedForBing, Verdict::NotFound, "status 404", Verdict::Blocked,
         "robots.txt disallows bingbot"},
        {"robots.txt closes Googlebot", blockedForGoogle, Verdict::Blocked, "robots.txt disallows Googlebot",
         Verdict::Ok, ""},
        // X-Robots-Tag: any case, several lines, per crawler, "none", values with colons.
        {"header noindex",
         fetched(200, {{"Content-Type", "text/html"}, {"x-robots-tag", "NoIndex"}}, head("")),
         Verdict::Noindex, noindex + "NoIndex", Verdict::Noindex, noindex + "NoIndex"},
        {"header for googlebot",
         fetched(200, {{"X-Robots-Tag", "nofollow"}, {"X-Robots-Tag", "GoogleBot: noindex, nosnippet"}},
                 head("")),
         Verdict::Noindex, noindex + "nofollow, GoogleBot: noindex, nosnippet", Verdict::Ok, ""},
        {"header for another bot", fetched(200, {{"X-Robots-Tag", "otherbot: noindex, none"}}, head("")),
         Verdict::Ok, "", Verdict::Ok, ""},
        {"header none for bingbot", fetched(200, {{"X-Robots-Tag", "bingbot: none"}}, head("")), Verdict::Ok,
         "", Verdict::Noindex, noindex + "bingbot: none"},
        {"header date, then noindex",
         fetched(200, {{"X-Robots-Tag", "unavailable_after: Friday, 25-Jun-10 15:00:00 PST, noindex"}},
                 head("")),
         Verdict::Noindex, noindex + "unavailable_after: Friday, 25-Jun-10 15:00:00 PST, noindex",
         Verdict::Noindex, noindex + "unavailable_after: Friday, 25-Jun-10 15:00:00 PST, noindex"},
        // Meta tags: only in the head, names and values in any case, the most restrictive wins.
        {"meta robots", fetched(200, {}, head("<meta name=ROBOTS content='NOINDEX,follow'>")),
         Verdict::Noindex, "robots meta tag", Verdict::Noindex, "robots meta tag"},
        {"meta googlebot none", fetched(200, {}, head("<meta name=googlebot content=none>")),
         Verdict::Noindex, "robots meta tag", Verdict::Ok, ""},
        {"meta bingbot", fetched(200, {}, head("<meta name=\"BingBot\" content=\" noindex \">")), Verdict::Ok,
         "", Verdict::Noindex, "robots meta tag"},
        {"conflicting metas",
         fetched(200, {},
                 head("<meta name=robots content=index><meta name=robots content=noindex>"
                      "<meta name=robots content=all>")),
         Verdict::Noindex, "robots meta tag", Verdict::Noindex, "robots meta tag"},
        {"meta in the body",
         fetched(200, {}, "<html><head></head><body><meta name=robots content=noindex></body>"), Verdict::Ok,
         "", Verdict::Ok, ""},
        {"meta after body content",
         fetched(200, {}, "<title>t</title><p>hi<meta name=robots content=noindex>"), Verdict::Ok, "",
         Verdict::Ok, ""},
        {"meta after </head>", fetched(200, {}, "<head></head><meta name=robots content=noindex><body>"),
         Verdict::Noindex, "robots meta tag", Verdict::Noindex, "robots meta tag"},
        // "<body" text before the body: the head goes on past it.
        {"body tag text in a comment, a script and an attribute",
         fetched(
             200, {},
             head("<!-- <body> --><script>document.write('<body >')</script><meta name=x content='<BODY>'>"
                  "<meta name=robots content=noindex>")),
         Verdict::Noindex, "robots meta tag", Verdict::Noindex, "robots meta tag"},
        {"meta in a head noscript",
         fetched(200, {}, head("<noscript><meta name=robots content=noindex></noscript>")), Verdict::Noindex,
         "robots meta tag", Verdict::Noindex, "robots meta tag"},
        {"no HTML",
         fetched(200, {{"Content-Type", "application/pdf"}}, head("<meta name=robots content=noindex>")),
         Verdict::Ok, "", Verdict::Ok, ""},
        // Canonical links, resolved against the final URL.
        {"canonical to itself", fetched(200, {}, head("<link rel=canonical href='page.html#top'>")),
         Verdict::Ok, "", Verdict::Ok, ""},
        {"canonical to itself, other spelling",
         fetched(200, {}, head("<link rel='Canonical' href='HTTPS://Site.Test:443/a/./%70age.html'>")),
         Verdict::Ok, "", Verdict::Ok, ""},
        {"canonical elsewhere", fetched(200, {}, head("<link rel=\"alternate canonical\" href=\"/b?q=1\">")),
         Verdict::CanonicalElsewhere, "https://site.test/b?q=1", Verdict::CanonicalElsewhere,
         "https://site.test/b?q=1"},
        {"conflicting canonicals",
         fetched(200, {}, head("<link rel=canonical href=/b><link rel=canonical href=/c>")), Verdict::Ok, "",
         Verdict::Ok, ""},
        {"canonical in the body", fetched(200, {}, "<body><link rel=canonical href=/b></body>"), Verdict::Ok,
         "", Verdict::Ok, ""},
        // An instant meta refresh is a permanent redirect; a delayed one or a reload is none.
        {"instant refresh", refresh("0;URL=other.html"), Verdict::Redirect, "https://site.test/a/other.html",
         Verdict::Redirect, "https://site.test/a/other.html"},
        {"refresh with blanks and quotes", refresh(" 0 , Url = '../b.html?x'junk"), Verdict::Redirect,
         "https://site.test/b.html?x", Verdict::Redirect, "https://site.test/b.html?x"},
        {"refresh without url=", refresh("0; //other.test/c"), Verdict::Redirect, "https://other.test/c",
         Verdict::Redirect, "https://other.test/c"},
        {"refresh to u=", refresh("0;u=x"), Verdict::Redirect, "https://site.test/a/u=x", Verdict::Redirect,
         "https://site.test/a/u=x"},
        {"delayed refresh", refresh("5;url=b.html"), Verdict::Ok,
         "meta refresh after 5 s to https://site.test/a/b.html", Verdict::Ok,
         "meta refresh after 5 s to https://site.test/a/b.html"},
        {"reloads and no refresh", refresh("0"), Verdict::Ok, "", Verdict::Ok, ""},
        {"refresh to itself", refresh("0; URL=page.html#top"), Verdict::Ok, "", Verdict::Ok, ""},
        {"refresh without a delay", refresh("; url=b.html"), Verdict::Ok, "", Verdict::Ok, ""},
        {"refresh in the body", fetched(200, {}, "<p>x<meta http-equiv=refresh content='0;url=/b'>"),
         Verdict::Ok, "", Verdict::Ok, ""},
        {"documentation redirect stub",
         fetched(200, {},
                 "<!DOCTYPE html><html lang=\"en\"><head><meta http-equiv=\"refresh\" "
                 "content=\"0;URL=../../std/vec/struct.Vec.html\"><title>Redirection</title></head><body><p>"
                 "Redirecting to <a href=\"../../std/vec/struct.Vec.html\">...</a>.</p></body></html>"),
         Verdict::Redirect, "https://site.test/std/vec/struct.Vec.html", Verdict::Redirect,
         "https://site.test/std/vec/struct.Vec.html"},
        // The Link header's canonical, for any content type, counts like the document's.
        {"Link canonical of a PDF",
         fetched(
             200,
             {{"Content-Type", "application/pdf"}, {"Link", "<https://site.test/a.pdf>; rel=\"canonical\""}},
             "%PDF-1.7"),
         Verdict::CanonicalElsewhere, "https://site.test/a.pdf", Verdict::CanonicalElsewhere,
         "https://site.test/a.pdf"},
        {"several links, relative, quoted commas",
         linked({{"Link", "<page.html>; rel=alternate; hreflang=de, <https://site.test/x>; title=\"a, <b>; "
                          "rel=canonical\", <../c>;REL=Canonical"}}),
         Verdict::CanonicalElsewhere, "https://site.test/c", Verdict::CanonicalElsewhere,
         "https://site.test/c"},
        {"several lines, a rel list naming the page itself",
         linked({{"Link", "</x>; rel=preload"},
                 {"link", "<HTTPS://SITE.TEST/a/page.html>; rel=\"alternate canonical\""}}),
         Verdict::Ok, "", Verdict::Ok, ""},
        {"only the first rel counts, empty targets are none",
         linked({{"Link", "</e>; rel=alternate; rel=canonical, <>; rel=canonical, < >; rel=canonical"}}),
         Verdict::Ok, "", Verdict::Ok, ""},
        {"Link canonical on another host", linked({{"Link", "<http://other.test/a.html>; rel=canonical"}}),
         Verdict::CanonicalElsewhere, "http://other.test/a.html", Verdict::CanonicalElsewhere,
         "http://other.test/a.html"},
        {"Link and document agree",
         linked({{"Link", "</b>; rel=canonical"}}, "<link rel=canonical href=../b>"),
         Verdict::CanonicalElsewhere, "https://site.test/b", Verdict::CanonicalElsewhere,
         "https://site.test/b"},
        {"Link and document disagree",
         linked({{"Link", "</b>; rel=canonical"}}, "<link rel=canonical href=page.html>"), Verdict::Ok,
         disagree, Verdict::Ok, disagree},
        {"Link canonical of a 404", fetched(404, {{"Link", "</b>; rel=canonical"}}, ""), Verdict::NotFound,
         "status 404", Verdict::NotFound, "status 404"},
        // msnbot's directives hold for Bing where none names bingbot.
        {"meta msnbot", fetched(200, {}, head("<meta name=MSNBot content=noindex>")), Verdict::Ok, "",
         Verdict::Noindex, "robots meta tag"},
        {"meta msnbot beside bingbot",
         fetched(200, {}, head("<meta name=msnbot content=noindex><meta name=bingbot content=index>")),
         Verdict::Ok, "", Verdict::Ok, ""},
        {"header msnbot", fetched(200, {{"X-Robots-Tag", "msnbot: none"}}, head("")), Verdict::Ok, "",
         Verdict::Noindex, noindex + "msnbot: none"},
        // unavailable_after: a date that passed is noindex for Google alone.
        {"unavailable_after passed, ISO 8601", fetched(200, {}, head(past + "2010-06-25'>")),
         Verdict::Noindex, "robots meta tag", Verdict::Ok, ""},
        {"unavailable_after passed, RFC 850",
         fetched(200, {},
                 head("<meta name=googlebot content='nofollow, unavailable_after: Friday, 25-Jun-10 "
                      "15:00:00 PST, noarchive'>")),
         Verdict::Noindex, "robots meta tag", Verdict::Ok, ""},
        {"unavailable_after passed, header RFC 1123",
         fetched(200, {{"X-Robots-Tag", "unavailable_after: Fri, 25 Jun 2010 15:00:00 GMT"}}, head("")),
         Verdict::Noindex, noindex + "unavailable_after: Fri, 25 Jun 2010 15:00:00 GMT", Verdict::Ok, ""},
        {"unavailable_after for bingbot",
         fetched(200, {{"X-Robots-Tag", "bingbot: unavailable_after: 2010-06-25"}}, head("")), Verdict::Ok,
         "", Verdict::Ok, ""},
        {"unavailable_after to come", fetched(200, {}, head(past + "2999-01-01T00:00:00Z'>")), Verdict::Ok,
         "", Verdict::Ok, ""},
        {"unavailable_after unreadable", fetched(200, {}, head(past + "soon'>")), Verdict::Ok,
         "unavailable_after date not understood: soon", Verdict::Ok, ""},
        {"noindex before canonical",
         fetched(200, {}, head("<link rel=canonical href=/b><meta name=robots content=noindex>")),
         Verdict::Noindex, "robots meta tag", Verdict::Noindex, "robots meta tag"},
    };
}

TEST(PageCheck, VerdictsPerCrawler) {
    for (const Case& c : cases()) {
        const PageCheck check = analysePage(c.fetch);
        const PageVerdict google = verdictFor(check, Crawler::Googlebot);
        const PageVerdict bing = verdictFor(check, Crawler::Bingbot);
        EXPECT_EQ(verdictName(google.verdict), verdictName(c.google)) << c.what;
        EXPECT_EQ(google.detail, c.googleDetail) << c.what;
        EXPECT_EQ(verdictName(bing.verdict), verdictName(c.bing)) << c.what;
        EXPECT_EQ(bing.detail, c.bingDetail) << c.what;
    }
}

TEST(PageCheck, RecordsWhatTheAnswerSaid) {
    PageFetch f = fetched(200, {{"content-type", " text/html "}, {"X-Robots-Tag", "googlebot: noindex"}},
                          head("<link rel=canonical href=//other.test/x>"));
    f.time = "2026-12-07T10:00:00.000Z";
    f.milliseconds = 42;
    f.bytes = 1234;
    f.bingbot = RobotsDecision::Disallowed;
    const PageCheck check = analysePage(f);
    EXPECT_EQ(check.status, 200);
    EXPECT_EQ(check.contentType, "text/html");
    EXPECT_EQ(check.robotsHeader, "googlebot: noindex");
    EXPECT_TRUE(check.header.googlebot);
    EXPECT_FALSE(check.header.all || check.header.bingbot);
    EXPECT_EQ(check.canonical, "https://other.test/x");
    EXPECT_EQ(check.bingbot, RobotsDecision::Disallowed);
    EXPECT_EQ(check.time, f.time);
    EXPECT_EQ(check.milliseconds, 42);
    EXPECT_EQ(check.bytes, 1234u);
}

TEST(PageCheck, UnavailableAfterPassesAtTheCheckTime) {
    PageFetch f = fetched(200, {{"X-Robots-Tag", "unavailable_after: 2010-06-25T15:00:00+02:00"}}, head(""));
    f.time = "2010-06-25T12:59:59Z";
    EXPECT_EQ(verdictFor(analysePage(f), Crawler::Googlebot).verdict, Verdict::Ok);
    f.time = "2010-06-25T13:00:01Z";
    EXPECT_EQ(verdictFor(analysePage(f), Crawler::Googlebot).verdict, Verdict::Noindex);
}

TEST(PageCheck, ReadsUnavailableAfterDatesAsGoogleDoes) {
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"2010-06-25", 1277424000},
        {"2010-06-25T15:00:00Z", 1277478000},
        {"2010-06-25T15:00:00.5+02:00", 1277470800},
        {"2010-06-25 15:00", 1277478000},
        {"Fri, 25 Jun 2010 15:00:00 GMT", 1277478000},
        {"25 Jun 2010 15:00:00 PST", 1277506800},
        {"Friday, 25-Jun-10 15:00:00 PST", 1277506800},
        {"Thursday, 25-Jun-98 15:00:00 GMT", 898786800},
        {"25 Jun 2010 16:00:00 +0100", 1277478000},
        {"2000-02-29", 951782400},
        {"1900-02-29", std::nullopt},
        {"2010-06-31", std::nullopt},
        {"2010-06-25T24:00:00Z", std::nullopt},
        {"25 Jun 2010 15:00:00 XYZ", std::nullopt},
        {"25 Foo 2010", std::nullopt},
        {"soon", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parseUnavailableAfter(text), expected) << text;
}

TEST(PageCheck, LinkHeadersOfAnySizeAreBounded) {
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += "<https://site.test/n" + std::to_string(i) + ">; rel=alternate, ";
    const auto canonicalOf = [](const std::string& link) {
        return analysePage(fetched(200, {{"Content-Type", "text/plain"}, {"Link", link}}, "")).canonical;
    };
    EXPECT_EQ(canonicalOf(many + "</b>; rel=canonical"), "https://site.test/b");
    EXPECT_EQ(canonicalOf(many + "</b>; rel=canonical, </c>; rel=canonical"), "");
    const std::string huge(100 * 1024, 'x');
    EXPECT_EQ(canonicalOf("</" + huge + ">; rel=canonical"), "https://site.test/" + huge);
    for (const std::string& hostile :
         {"<" + huge, "</b>; title=\"" + huge, std::string(100 * 1024, ';'), std::string(100 * 1024, '"'),
          "</b>; rel" + std::string(100 * 1024, '='), std::string(100 * 1024, ',')})
        EXPECT_EQ(canonicalOf(hostile), "") << hostile.substr(0, 20);
}

TEST(PageCheck, ResolvesReferencesAsBrowsersDo) {
    const std::string base = "http://Site.test:80/a/b/c?q#f";
    const std::pair<const char*, const char*> cases[] = {
        {"d", "http://site.test/a/b/d"},
        {"../d", "http://site.test/a/d"},
        {"../../../d", "http://site.test/d"},
        {"/d/./e/../f", "http://site.test/d/f"},
        {"?x", "http://site.test/a/b/c?x"},
        {"", "http://site.test/a/b/c?q"},
        {"#frag", "http://site.test/a/b/c?q"},
        {"//other.test:8080", "http://other.test:8080/"},
        {"HTTPS://X.TEST:443/%7e%2f", "https://x.test/~%2F"},
        {" \t/sp ace\n", "http://site.test/sp%20ace"},
        {"mailto:a@b", ""},
        {"javascript:alert(1)", ""},
        {"http://user@evil.test/", ""},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(resolvePageUrl(base, reference), expected) << reference;
    EXPECT_EQ(resolvePageUrl("not a url", "/x"), "");
}

TEST(PageCheck, SurvivesDeepNestingInvalidUtf8AndHugeBodies) {
    // A head that says noindex, then a body nested about a million levels deep.
    std::string deep = head("<meta name=robots content=noindex>");
    deep.resize(deep.size() - std::string("</body></html>").size());
    while (deep.size() < PageCheck::MaxBodyBytes)
        deep += "<b><div>";
    EXPECT_EQ(verdictFor(analysePage(fetched(200, {}, deep)), Crawler::Googlebot).verdict, Verdict::Noindex);

    // Nesting before the head has ended: the robots tag after it cannot count, and the parse ends.
    std::string unclosed = "<html><head>";
    while (unclosed.size() < 3u << 20)
        unclosed += "<template>";
    unclosed += "<meta name=robots content=noindex>";
    EXPECT_EQ(verdictFor(analysePage(fetched(200, {}, unclosed)), Crawler::Googlebot).verdict, Verdict::Ok);
    // The same with a body tag after the nesting, within the bytes that are read.
    unclosed.resize(3u << 19);
    unclosed += "<meta name=robots content=noindex><body>";
    EXPECT_EQ(verdictFor(analysePage(fetched(200, {}, unclosed)), Crawler::Googlebot).verdict, Verdict::Ok);

    // Invalid UTF-8 and NUL bytes around the tags that matter.
    const char raw[] =
        "<head><title>\xFF\xFE\xC3\x28\x00</title><meta name=\"robots\xE2\x82\" content=noindex>"
        "<meta name=googlebot content=\"\xF0\x9F noindex\"><link rel=canonical href=\"/\xFF\">";
    const PageCheck broken = analysePage(fetched(200, {}, std::string(raw, sizeof raw - 1)));
    EXPECT_FALSE(broken.meta.all);
    EXPECT_FALSE(broken.meta.googlebot);
    EXPECT_EQ(broken.canonical, "https://site.test/%EF%BF%BD");

    // What lies beyond the first 2 MiB is not read.
    const std::string late = "<head><!--" + std::string(PageCheck::MaxBodyBytes, 'x') +
                             "--><meta name=robots content=noindex></head>";
    EXPECT_EQ(verdictFor(analysePage(fetched(200, {}, late)), Crawler::Bingbot).verdict, Verdict::Ok);
}

} // namespace
