// The page checker against curl, both fetching the same pages from the same nginx over TLS in
// the same run: 10,000 pages, 8 at a time (curl --parallel --parallel-max 8). The checker also
// reads robots.txt once, keeps at most 2 MiB of each body and parses each page's head with
// gumbo for its robots meta tags and canonical link. Prints the time ratio and the peak memory
// of this process.
//
//   build/bench/page_checks_bench [count]

#include "BenchNginx.h"
#include "BenchProcess.h"

#include "core/checks/PageChecker.h"
#include "http/live/LiveClient.h"
#include "platform/EventLoopQt.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A page as a small site serves it: a head with the tags the checks read, and some text.
std::string pageHtml() {
    std::string html = "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                       "<title>Glacier tours</title><meta name=\"robots\" content=\"index, follow\">"
                       "<link rel=\"canonical\" href=\"/page.html\"><link rel=\"stylesheet\" href=\"/s.css\">"
                       "</head><body><h1>Tours</h1>";
    for (int i = 0; i < 20; ++i)
        html += "<p>Paddle along the fjord and see the glacier from the water, day " + std::to_string(i) +
                ".</p>";
    return html + "</body></html>\n";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;

    NginxServer nginx;
    if (!bench::startTlsNginx(nginx, NginxServer::Http2::On)) return 2;
    const TestCertificates& certs = TestCertificates::get();
    nginx.writeFile("page.html", pageHtml());
    nginx.writeFile("robots.txt", "User-agent: *\nDisallow: /private/\n");
    const std::string url = nginx.tlsUrl("/page.html", "localhost");
    std::vector<std::string> urls;
    for (int i = 1; i <= count; ++i)
        urls.push_back(url + "?" + std::to_string(i));

    LiveClient client(bench::parallelClient(8));
    PageCheckerSettings checks;
    checks.perHost = 8;
    checks.maxPages = static_cast<std::size_t>(count);
    const std::vector<std::string> curlArgs = bench::curlParallel(url, count, 8);

    // Warm-up, then the best of three rounds each, alternating, so that a busy moment of the
    // machine hits both. Each round has a checker of its own, which reads robots.txt again.
    bench::runCurl({"--cacert", certs.ca(), "-s", url});
    double ours = 1e9, curl = 1e9;
    for (int round = 0; round < 3; ++round) {
        PageChecker checker(client, checks);
        std::size_t ok = 0;
        const auto start = bench::Clock::now();
        checker.check(urls, [&ok](const PageCheck& check) {
            ok += verdictFor(check, Crawler::Googlebot).verdict == Verdict::CanonicalElsewhere ? 1 : 0;
        });
        ours = std::min(ours, bench::secondsSince(start));
        // Every page names /page.html as its canonical URL, so each is canonical-elsewhere: a
        // page that was not read whole would not be.
        if (ok != urls.size()) {
            std::fprintf(stderr, "only %zu of %zu pages were read whole\n", ok, urls.size());
            return 2;
        }
        curl = std::min(curl, bench::runCurl(curlArgs));
    }
    std::printf(
        "%d page checks over TLS, 8 at a time: larkspan %.3f s, curl --parallel %.3f s; time ratio %.2f "
        "(target <= 1.2)\n",
        count, ours, curl, ours / curl);
    std::printf("peak memory (VmHWM) %.1f MB (target <= 120 MB)\n", bench::peakMegabytes());
    return 0;
}
