// A whole run against the engine simulator next to curl sending the same requests.
//
// 100 profiles make 3,200 requests. The run sends them through the program's HTTP client with
// the simulator as the proxy, with everything a run does around them (preparing each profile,
// building each request, a sorted and fitted result row per request, a record per request
// written to the run's kept file). curl then sends the same
// 3,200 requests, one after another with a new connection each (HTTP/1.0), from one process
// through the same proxy. The two take turns three times; the best of each counts.
//
//   run_bench [profiles]      (default 100; prints the time ratio run : curl, target <= 1.3)
#include "bench/QuietRunHost.h"
#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "core/run/HttpRunClient.h"
#include "core/profiles/SiteProfile.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/profiles/SubmissionList.h"
#include "core/run/SubmissionRun.h"
#include "grid/ReportGrid.h"
#include "tools/simulator/EngineSimulator.h"

#include "platform/EventLoopQt.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

SiteProfile benchProfile(int i) {
    char title[32];
    std::snprintf(title, sizeof title, "Bench Site %03d", i);
    std::string n = std::to_string(i);
    return {"Jane Doe",
            "jane" + n + "@example.com",
            "http://www" + n + ".example.com/",
            title,
            "Business",
            "Plants, tools and advice.",
            "garden, tools",
            "English",
            "Example Inc",
            "1 Main St",
            "Springfield",
            "IL",
            "12345-6789",
            "United States",
            "(555) 123-4567",
            "555-765-4321"};
}

// A text in double quotes for curl's configuration file.
std::string curlQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The request target as the HTTP client puts it on the wire: spaces and control bytes
// percent-encoded, nothing else.
std::string wireUrl(const std::string& url) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// curl's configuration for the requests the run sends, in the run's order.
std::string curlConfig(const std::vector<std::string>& names, const ProfileFiles& store, const Config& config,
                       const std::string& proxy) {
    const std::vector<EngineEntry> catalog = engineCatalog(config);
    std::string out = "silent\nshow-error\n";
    bool first = true;
    for (const std::string& name : names) {
        SubmissionFields fields;
        PrepareProfile(fields, store.load(name));
        for (const EngineEntry& entry : catalog) {
            EngineRequest request = PrepareRequest(fields, entry);
            if (!first) out += "next\n";
            first = false;
            out += "url = " + curlQuoted(wireUrl(request.url)) + "\n";
            out += "proxy = " + curlQuoted(proxy) + "\nhttp1.0\ngloboff\noutput = \"/dev/null\"\n";
            if (request.method == "post") out += "data-binary = " + curlQuoted(request.body) + "\n";
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    const int profiles = argc > 1 ? std::atoi(argv[1]) : 100;
    if (profiles < 1) {
        std::fprintf(stderr, "usage: run_bench [profiles]\n");
        return 2;
    }
    QTemporaryDir dir;
    ProfileFiles store(dir.path().toStdString());
    for (int i = 0; i < profiles; ++i)
        store.save(benchProfile(i));
    EngineSimulator simulator;
    Config config;
    config.proxy = simulator.address();
    const std::size_t requestsPerPass = static_cast<std::size_t>(profiles) * CatalogSize;

    FixedWidthMeasure measure;
    QuietRunHost host(measure, dir.path().toStdString());
    fillSubmissionList(host.list, store.list());
    host.list.SetSelection({0, 1, 0, host.list.RowCount() - 1});
    const std::vector<std::string> names = SubmissionRun::selectedProfiles(host.list);
    const QString curlFile = dir.filePath("curl.config");
    {
        QFile f(curlFile);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(QByteArray::fromStdString(curlConfig(names, store, config, simulator.address())));
    }

    HttpRunClient client;
    SubmissionRun run(host, client, config);
    run.Start();
    double bestRun = 1e9;
    double bestCurl = 1e9;
    std::size_t seen = 0;
    for (int turn = 0; turn < 3; ++turn) {
        QElapsedTimer clock;
        clock.start();
        host.kept.emplace([&] { return dir.path().toStdString(); }, std::chrono::system_clock::now());
        run.GoButtonClick();
        bestRun = std::min(bestRun, clock.nsecsElapsed() / 1e9);
        if (host.kept->path().empty()) {
            std::fprintf(stderr, "run_bench: the run's records were not kept\n");
            return 1;
        }
        if (!host.log.empty()) {
            std::fprintf(stderr, "run_bench: the run failed: %s\n", host.log.front().c_str());
            return 1;
        }
        const auto afterRun = simulator.requests();
        if (afterRun.size() != seen + requestsPerPass) {
            std::fprintf(stderr, "run_bench: the run sent %zu requests, not %zu\n", afterRun.size() - seen,
                         requestsPerPass);
            return 1;
        }
        seen = afterRun.size();

        QProcess curl;
        curl.setProcessChannelMode(QProcess::ForwardedChannels);
        clock.restart();
        curl.start("curl", {"-K", curlFile});
        if (!curl.waitForFinished(600000) || curl.exitCode() != 0) {
            std::fprintf(stderr, "run_bench: curl failed\n");
            return 1;
        }
        bestCurl = std::min(bestCurl, clock.nsecsElapsed() / 1e9);
        const auto afterCurl = simulator.requests();
        if (afterCurl.size() != seen + requestsPerPass) {
            std::fprintf(stderr, "run_bench: curl sent %zu requests, not %zu\n", afterCurl.size() - seen,
                         requestsPerPass);
            return 1;
        }
        // Both sent the same requests: the same targets and bodies in the same order.
        for (std::size_t i = 0; i < requestsPerPass; ++i) {
            const auto& a = afterCurl[seen - requestsPerPass + i];
            const auto& b = afterCurl[seen + i];
            if (a.target != b.target || a.body != b.body || a.method != b.method) {
                std::fprintf(stderr, "run_bench: request %zu differs:\n  run:  %s %s\n  curl: %s %s\n", i,
                             a.method.c_str(), a.target.c_str(), b.method.c_str(), b.target.c_str());
                return 1;
            }
        }
        seen = afterCurl.size();
    }
    std::printf("%d profiles, %zu requests each way\n", profiles, requestsPerPass);
    std::printf("run:  %.3f s (%.0f us per request)\n", bestRun, bestRun / requestsPerPass * 1e6);
    std::printf("curl: %.3f s (%.0f us per request)\n", bestCurl, bestCurl / requestsPerPass * 1e6);
    std::printf("ratio run : curl = %.2f (target <= 1.3)\n", bestRun / bestCurl);
    return 0;
}
