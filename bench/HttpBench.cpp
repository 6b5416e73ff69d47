// The HTTP client against curl, both fetching from the same nginx on loopback in the same run:
// 1,000 sequential small GETs, and one 512 MiB GET into a file and into memory. curl runs
// with --http1.0, so it too opens a new connection per request. Prints each result as a ratio.
// With --tls both fetch over https from nginx's TLS port (a certificate of a test CA made
// for the run); curl resumes TLS sessions between its connections, and so do we.
//
//   build/bench/http_bench [--tls] [small-count] [large-MiB]

#include "bench/BenchProcess.h"
#include "support/NginxServer.h"
#include "support/TestCertificates.h"

#include "http/socket/HttpClient.h"

#include "platform/EventLoopQt.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using bench::Clock;
using bench::runCurl;
using bench::secondsSince;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    const bool tls = argc > 1 && std::string(argv[1]) == "--tls";
    if (tls) {
        --argc;
        ++argv;
    }
    const int smallCount = argc > 1 ? std::atoi(argv[1]) : 1000;
    const std::int64_t largeSize = (argc > 2 ? std::atoll(argv[2]) : 512) << 20;

    NginxServer nginx;
    const TestCertificates& certs = TestCertificates::get();
    if (tls) {
        if (!certs.error().empty()) {
            std::fprintf(stderr, "%s\n", certs.error().c_str());
            return 2;
        }
        nginx.enableTls(certs.path("server.pem"), certs.key());
    }
    // Every URL of the run, as both clients fetch it.
    auto url = [&](const std::string& path) {
        return tls ? nginx.tlsUrl(path, "localhost") : nginx.url(path);
    };
    // curl with the trust anchor of the run when it speaks TLS.
    auto curlWith = [&](std::vector<std::string> args) {
        if (tls) args.insert(args.begin(), {"--cacert", certs.ca()});
        return runCurl(std::move(args));
    };
    if (!nginx.start()) {
        std::fprintf(stderr, "%s\n", nginx.error().c_str());
        return 2;
    }
    nginx.writeFile("small.html", "<html><body>" + std::string(200, 's') + "</body></html>\n");
    nginx.writeRandomFile("large.bin", largeSize);
    const std::string outDir = nginx.directory();

    THttpClient client;
    client.TimeOut = 10000;
    client.CAFile = certs.ca();

    // Small requests: the same URLs for both, each a new connection.
    const std::string smallUrl = url("/small.html");
    client.Get(smallUrl); // warm-up
    curlWith({"--http1.0", "-s", smallUrl});
    // Best of three rounds each, alternating, so that a busy moment of the machine hits both.
    double ours = 1e9, curl = 1e9;
    for (int round = 0; round < 3; ++round) {
        auto start = Clock::now();
        for (int i = 1; i <= smallCount; ++i)
            client.Get(smallUrl + "?" + std::to_string(i));
        ours = std::min(ours, secondsSince(start));
        curl = std::min(curl,
                        curlWith({"--http1.0", "-s", smallUrl + "?[1-" + std::to_string(smallCount) + "]"}));
    }
    std::printf("%d small %s GETs: larkspan %.3f s, curl %.3f s; time ratio %.2f (target <= %s)\n",
                smallCount, tls ? "https" : "http", ours, curl, ours / curl, tls ? "1.15" : "1.25");

    // The large body into a file, then into memory; the best of two runs of each, alternating.
    const std::string largeUrl = url("/large.bin");
    const double mib = static_cast<double>(largeSize) / (1 << 20);
    double oursFile = 1e9, curlFile = 1e9, oursText = 1e9, curlNull = 1e9;
    for (int round = 0; round < 2; ++round) {
        client.InputFileMode = true;
        client.Header = outDir + "/ours.head";
        client.Body = outDir + "/ours.bin";
        auto start = Clock::now();
        client.Get(largeUrl);
        oursFile = std::min(oursFile, secondsSince(start));
        std::remove((outDir + "/ours.bin").c_str());
        curlFile = std::min(curlFile, curlWith({"--http1.0", "-s", "-o", outDir + "/curl.bin", largeUrl}));
        std::remove((outDir + "/curl.bin").c_str());

        client.InputFileMode = false;
        start = Clock::now();
        client.Get(largeUrl);
        oursText = std::min(oursText, secondsSince(start));
        if (static_cast<std::int64_t>(client.Body.size()) != largeSize) {
            std::fprintf(stderr, "short body\n");
            return 2;
        }
        client.Body.clear();
        client.Body.shrink_to_fit();
        curlNull = std::min(curlNull, curlWith({"--http1.0", "-s", "-o", "/dev/null", largeUrl}));
    }
    std::printf("%.0f MiB GET to a file: larkspan %.0f MiB/s, curl %.0f MiB/s; throughput ratio %.2f (target "
                ">= 0.8)\n",
                mib, mib / oursFile, mib / curlFile, curlFile / oursFile);
    std::printf(
        "%.0f MiB GET to memory: larkspan %.0f MiB/s, curl to /dev/null %.0f MiB/s; throughput ratio %.2f\n",
        mib, mib / oursText, mib / curlNull, curlNull / oursText);
    return 0;
}
