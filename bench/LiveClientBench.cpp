// The live client against curl, both fetching the same small pages from the same nginx over TLS
// in the same run: 10,000 GETs, 8 at a time (curl --parallel --parallel-max 8). nginx offers
// HTTP/2, so both multiplex on one connection; with --http1.1 it offers HTTP/1.1 only, and both
// keep 8 connections alive. Prints the time ratio, the peak memory of this process, and the
// event loop's longest stall while 1,000 transfers run at the client's default limits.
//
//   build/bench/live_client_bench [--http1.1] [count]

#include "BenchNginx.h"
#include "BenchProcess.h"

#include "http/live/LiveClient.h"

#include "platform/EventLoopQt.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using bench::Clock;
using bench::peakMegabytes;
using bench::runCurl;
using bench::secondsSince;

// Starts count GETs of url?1 to url?count at once and waits for them; false when one failed.
bool fetchAll(LiveClient& client, const std::string& url, int count) {
    int failed = 0;
    for (int i = 1; i <= count; ++i) {
        LiveRequest request;
        request.url = url + "?" + std::to_string(i);
        client.start(std::move(request), [&failed](LiveAnswer answer) {
            if (answer.status != 200) {
                if (failed++ == 0)
                    std::fprintf(stderr, "failed: %d %s\n", answer.status, answer.error.c_str());
            }
        });
    }
    client.waitAll();
    return failed == 0;
}

// The longest time between two ticks of a 1 ms timer while the client runs count transfers:
// how long the window would stay unresponsive at worst.
double longestStallMs(LiveClient& client, const std::string& url, int count) {
    auto& loop = EventLoop::instance();
    auto last = Clock::now();
    double longest = 0;
    const auto timer = loop.startTimer(std::chrono::milliseconds(1), EventLoop::TimerMode::Repeating, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    });
    for (int i = 1; i <= count; ++i) {
        LiveRequest request;
        request.url = url + "?stall" + std::to_string(i);
        client.start(std::move(request), [](LiveAnswer) {});
    }
    last = Clock::now(); // the loop starts turning only now
    client.waitAll();
    loop.killTimer(timer);
    return longest;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    const bool http1 = argc > 1 && std::string(argv[1]) == "--http1.1";
    if (http1) {
        --argc;
        ++argv;
    }
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;

    NginxServer nginx;
    if (!bench::startTlsNginx(nginx, http1 ? NginxServer::Http2::Off : NginxServer::Http2::On)) return 2;
    const TestCertificates& certs = TestCertificates::get();
    nginx.writeFile("small.html", "<html><body>" + std::string(200, 's') + "</body></html>\n");
    const std::string url = nginx.tlsUrl("/small.html", "localhost");

    LiveClient client(bench::parallelClient(8));
    const std::vector<std::string> curlArgs = bench::curlParallel(url, count, 8);

    // Warm-up, then the best of three rounds each, alternating, so that a busy moment of the
    // machine hits both.
    if (!fetchAll(client, url, 8)) return 2;
    runCurl({"--cacert", certs.ca(), "-s", url});
    double ours = 1e9, curl = 1e9;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        if (!fetchAll(client, url, count)) return 2;
        ours = std::min(ours, secondsSince(start));
        curl = std::min(curl, runCurl(curlArgs));
    }
    std::printf(
        "%d small https GETs (%s), 8 at a time: larkspan %.3f s, curl --parallel %.3f s; time ratio %.2f "
        "(target <= 1.1)\n",
        count, http1 ? "HTTP/1.1" : "HTTP/2", ours, curl, ours / curl);
    std::printf("peak memory (VmHWM) %.1f MB (target <= 64 MB)\n", peakMegabytes());

    LiveClient defaults(
        LiveClient::Settings{.proxy = {}, .caFile = certs.ca(), .userAgent = "Larkspan/bench"});
    std::printf("longest event loop stall while 1,000 transfers run: %.1f ms (target <= 50 ms)\n",
                longestStallMs(defaults, url, 1000));
    return 0;
}
