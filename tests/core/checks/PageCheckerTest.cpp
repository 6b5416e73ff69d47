// The page checker against a small site on loopback that answers every verdict.
#include "core/checks/PageChecker.h"
#include "core/Config.h"
#include "core/channels/LiveSite.h"
#include "tests/common/TempDir.h"

#include <QProcess>
#include <QRegularExpression>

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace {

// The site: each path answers with its status, header lines and body; /busy.html answers 429
// the first time it is asked for; as "localhost" the site has no robots.txt.
constexpr const char* SiteScript = R"PY(
import http.server, sys
page = b'<!DOCTYPE html><html><head><title>t</title>%s</head><body><p>text</p></body></html>'
pages = {
    '/robots.txt': (200, [('Content-Type', 'text/plain')], b'User-agent: *\nDisallow: /private/\n'),
    '/ok.html': (200, [], page % b''),
    '/missing.html': (404, [], b'not here'),
    '/gone.html': (410, [], b'gone'),
    '/moved.html': (301, [('Location', '/ok.html')], b''),
    '/header-noindex.html': (200, [('X-Robots-Tag', 'NoIndex, NoFollow')], page % b''),
    '/meta-noindex.html': (200, [], page % b'<meta name="robots" content="noindex">'),
    '/canonical.html': (200, [], page % b'<link rel="canonical" href="/ok.html">'),
    '/private/page.html': (200, [], page % b''),
    '/big.html': (200, [], page % b'' + b'<!-- ' + b'x' * (3 << 20) + b' -->'),
}
asked = {}
class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args): pass
    def do_GET(self):
        asked[self.path] = asked.get(self.path, 0) + 1
        if self.path == '/robots.txt' and self.headers['Host'].startswith('localhost'):
            status, headers, body = (404, [], b'no robots.txt here')
        elif self.path == '/busy.html':
            status, headers, body = (429, [('Retry-After', '1')], b'slow down') if asked[self.path] == 1 \
                else (200, [], page % b'')
        else:
            status, headers, body = pages.get(self.path, (404, [], b'no such page'))
        self.send_response(status)
        if not any(name == 'Content-Type' for name, _ in headers):
            self.send_header('Content-Type', 'text/html; charset=utf-8')
        for name, value in headers: self.send_header(name, value)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
print('port', server.server_address[1], flush=True)
server.serve_forever()
)PY";

class PageSite {
public:
    explicit PageSite(const TempDir& dir) {
        const std::string script = (dir.path() / "site.py").string();
        std::ofstream(script) << SiteScript;
        process_.start("python3", {"-u", QString::fromStdString(script)});
        QString seen;
        while (port_ == 0 && process_.waitForReadyRead(10000)) {
            seen += QString::fromUtf8(process_.readAllStandardOutput());
            const auto m = QRegularExpression("port (\\d+)").match(seen);
            if (m.hasMatch()) port_ = m.captured(1).toInt();
        }
    }
    ~PageSite() {
        process_.kill();
        process_.waitForFinished();
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int port() const { return port_; }

private:
    QProcess process_;
    int port_ = 0;
};

} // namespace

TEST(PageChecker, EachPageGetsTheVerdictOfItsAnswer) {
    TempDir dir;
    PageSite site(dir);
    ASSERT_NE(site.port(), 0);
    struct Case {
        const char* path;
        Verdict verdict;
        std::string detail;
        int status;
    };
    const std::vector<Case> cases = {
        {"/ok.html", Verdict::Ok, "", 200},
        {"/missing.html", Verdict::NotFound, "status 404", 404},
        {"/gone.html", Verdict::Gone, "status 410", 410},
        {"/moved.html", Verdict::Redirect, site.url("/ok.html"), 200},
        {"/header-noindex.html", Verdict::Noindex, "", 200},
        {"/meta-noindex.html", Verdict::Noindex, "", 200},
        {"/canonical.html", Verdict::CanonicalElsewhere, site.url("/ok.html"), 200},
        {"/private/page.html", Verdict::Blocked, "", 200},
        {"/busy.html", Verdict::Ok, "", 200},
        {"/big.html", Verdict::Ok, "", 200},
    };
    std::vector<std::string> urls;
    for (const Case& c : cases)
        urls.push_back(site.url(c.path));
    urls.push_back("ftp://127.0.0.1/file");

    LiveClient client(liveClientSettings(Config{}));
    PageChecker checker(client, PageCheckerSettings{});
    std::map<std::string, PageCheck> done;
    const auto started = std::chrono::steady_clock::now();
    checker.check(urls, [&](const PageCheck& check) { done.emplace(check.url, check); });
    const auto took = std::chrono::steady_clock::now() - started;

    ASSERT_EQ(done.size(), urls.size());
    for (const Case& c : cases) {
        const PageCheck& check = done.at(site.url(c.path));
        const PageVerdict verdict = verdictFor(check, Crawler::Googlebot);
        EXPECT_EQ(verdictName(verdict.verdict), verdictName(c.verdict)) << c.path << ": " << verdict.detail;
        if (!c.detail.empty()) {
            EXPECT_EQ(verdict.detail, c.detail) << c.path;
        }
        EXPECT_EQ(check.status, c.status) << c.path;
        EXPECT_TRUE(check.error.empty()) << c.path << ": " << check.error;
    }
    EXPECT_EQ(done.at(site.url("/moved.html")).hops.size(), 2u);
    EXPECT_EQ(done.at(site.url("/private/page.html")).bingbot, RobotsDecision::Disallowed);
    // The big page was cut at the bound, which is no failure.
    EXPECT_GE(done.at(site.url("/big.html")).bytes, PageCheck::MaxBodyBytes);
    EXPECT_LT(done.at(site.url("/big.html")).bytes, std::uint64_t{3} << 20);
    // The 429 held the checks back for the second that its Retry-After named.
    EXPECT_GE(took, std::chrono::milliseconds{900});
    EXPECT_EQ(verdictFor(done.at("ftp://127.0.0.1/file"), Crawler::Googlebot).verdict, Verdict::Error);
}

TEST(PageChecker, RobotsTxtThatIsMissingOpensTheSiteAndNoAnswerClosesIt) {
    TempDir dir;
    PageSite site(dir);
    ASSERT_NE(site.port(), 0);
    LiveClient client(liveClientSettings(Config{}));
    PageChecker checker(client, PageCheckerSettings{});
    const std::string origin = site.url("");
    EXPECT_FALSE(checker.robotsFor(origin).allows("Googlebot", "/private/x"));
    EXPECT_TRUE(checker.robotsFor(origin).allows("Googlebot", "/public"));
    EXPECT_TRUE(checker.robotsFor("http://localhost:" + std::to_string(site.port()))
                    .allows("Googlebot", "/private/x"));
    // Nobody listens on this port: no answer means no crawling, and each page of the site is an
    // error for that reason rather than "blocked".
    EXPECT_FALSE(checker.robotsFor("http://127.0.0.1:1").allows("Googlebot", "/public"));
    EXPECT_EQ(checker.robotsProblem("http://127.0.0.1:1").rfind("robots.txt could not be fetched: ", 0), 0u);
    std::vector<PageVerdict> unread;
    checker.check({"http://127.0.0.1:1/public"},
                  [&](const PageCheck& check) { unread.push_back(verdictFor(check, Crawler::Bingbot)); });
    ASSERT_EQ(unread.size(), 1u);
    EXPECT_EQ(unread[0].verdict, Verdict::Error);
    EXPECT_EQ(unread[0].detail.rfind("robots.txt could not be fetched: ", 0), 0u) << unread[0].detail;
    LiveAnswer busy;
    busy.status = 503;
    EXPECT_EQ(robotsTxtProblem(busy), "robots.txt answered 503");
    busy.status = 429;
    EXPECT_EQ(robotsTxtProblem(busy), "robots.txt answered 429");
    busy.status = 404;
    EXPECT_EQ(robotsTxtProblem(busy), "");
    // Only the first MaxPages URLs are checked.
    PageCheckerSettings few;
    few.maxPages = 2;
    PageChecker bounded(client, few);
    int checked = 0;
    bounded.check({site.url("/ok.html"), site.url("/gone.html"), site.url("/missing.html")},
                  [&](const PageCheck&) { ++checked; });
    EXPECT_EQ(checked, 2);
    // More pages than may wait for their analysis at once: each is reported as it is read, so
    // the checks go on.
    std::vector<std::string> many;
    for (int i = 0; i < 80; ++i)
        many.push_back(site.url("/ok.html?" + std::to_string(i)));
    checked = 0;
    checker.check(many, [&](const PageCheck& check) { checked += check.status > 0 ? 1 : 0; });
    EXPECT_EQ(checked, 80);
}

// Pages are parsed off the event loop; a run stopped between rounds still reports the pages
// that came back before, in their order, and the ones after never.
TEST(PageChecker, AStoppedRunStillReportsThePagesThatCameBack) {
    struct Stopped {};
    int rounds = 0;
    PageCheckerSettings two;
    two.perHost = 2;
    PageChecker checker(
        [&rounds](std::vector<LiveRequest> requests) {
            std::vector<LiveAnswer> answers(requests.size());
            const bool robots = requests.size() == 1 && requests[0].url.ends_with("/robots.txt");
            if (!robots && ++rounds == 2) throw Stopped{};
            for (std::size_t i = 0; i < requests.size(); ++i) {
                answers[i].status = robots ? 404 : 200;
                answers[i].hops = {{requests[i].url, answers[i].status, "", 0, 0}};
                answers[i].body = "<head><meta name=robots content=noindex></head><body>";
            }
            return answers;
        },
        two);
    const std::vector<std::string> urls = {"https://site.test/a", "https://site.test/b",
                                           "https://site.test/c"};
    std::vector<std::string> reported;
    EXPECT_THROW(checker.check(urls,
                               [&](const PageCheck& check) {
                                   EXPECT_EQ(verdictFor(check, Crawler::Bingbot).verdict, Verdict::Noindex);
                                   reported.push_back(check.url);
                               }),
                 Stopped);
    EXPECT_EQ(reported, std::vector<std::string>(urls.begin(), urls.begin() + 2));
}

// RFC 9309, 2.3.1.2 to 2.3.1.4: a robots.txt reached within five redirects gives the rules (also
// down from https to http), more than five mean the file is unavailable (everything allowed, and
// the detail says so), 4xx unavailable, 5xx and 429 unreachable (the site could not be read).
TEST(PageChecker, RobotsTxtOutcomesFollowTheRobotsExclusionProtocol) {
    const struct {
        const char* name;
        int status;
        std::size_t hops;
        Verdict open, closed; // of /open and /closed, which the file disallows
        const char* detail;   // of /open
    } cases[] = {
        {"found after two hops", 200, 2, Verdict::Ok, Verdict::Blocked, ""},
        {"found after five redirects", 200, 6, Verdict::Ok, Verdict::Blocked, ""},
        {"more than five redirects", 302, 6, Verdict::Ok, Verdict::Ok, RobotsRedirectedTooOften},
        {"a redirect without Location", 302, 1, Verdict::Ok, Verdict::Ok, ""},
        {"unavailable", 404, 1, Verdict::Ok, Verdict::Ok, ""},
        {"unreachable", 503, 1, Verdict::Error, Verdict::Error, "robots.txt answered 503"},
        {"too many requests", 429, 1, Verdict::Error, Verdict::Error, "robots.txt answered 429"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto send = [&c](std::vector<LiveRequest> requests) {
            std::vector<LiveAnswer> answers;
            for (LiveRequest& request : requests) {
                LiveAnswer answer;
                answer.status = 200;
                answer.body = "<html><head><title>t</title></head></html>";
                if (request.url.ends_with("/robots.txt")) {
                    EXPECT_EQ(request.redirects, Redirects::RobotsTxt);
                    answer.status = c.status;
                    answer.body.clear();
                    if (c.status == 200) request.sink("User-agent: *\nDisallow: /closed\n");
                    answer.hops.resize(c.hops);
                }
                answer.finalUrl = request.url;
                if (answer.hops.empty()) answer.hops.push_back({request.url, answer.status, "", 0, 0});
                answers.push_back(std::move(answer));
            }
            return answers;
        };
        PageChecker checker(send, PageCheckerSettings{});
        std::map<std::string, PageVerdict> verdicts;
        checker.check(
            {"https://example.com/open", "https://example.com/closed"},
            [&](const PageCheck& check) { verdicts[check.url] = verdictFor(check, Crawler::Googlebot); });
        EXPECT_EQ(verdicts["https://example.com/open"].verdict, c.open);
        EXPECT_EQ(verdicts["https://example.com/open"].detail, c.detail);
        EXPECT_EQ(verdicts["https://example.com/closed"].verdict, c.closed);
    }
}
