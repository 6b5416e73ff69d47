// 1,000,000 sitemap URLs announced to IndexNow through the whole path, next to a peer that does
// the same necessary work with standard tools: curl posting the same 100 JSON bodies, and the
// sqlite3 command making the store's writes of the run.
//
// The engine simulator serves a site over TLS on 127.0.0.1: a sitemap index of 20 gzip
// sitemaps of 50,000 URLs each, and its key file; it also plays the IndexNow endpoint, which
// reads every body, checks every URL and the key file. The run (catalogue off) fetches and
// reads the sitemaps through the live client (the index's sitemaps several at a time), compares
// them with the site store (the profile announces every page on its first run), cuts them into
// 100 POSTs of 10,000 URLs and sends them through the live client, recording each accepted batch
// in the store. curl then POSTs the same 100 bodies to the same endpoint, one connection each
// (HTTP/1.0), from one process. The sqlite3 command makes the store's writes: the run's own
// schema, the baseline of 1,000,000 URL rows in one transaction and 100 commits of 10,000
// acceptances, in WAL mode with a full sync. Every accepted batch is on the disk before the next
// POST goes, so the run cannot hide those writes behind the POSTs, and a peer without them
// would measure the durability rule rather than the program. The three take turns twice, the
// store removed before each run; the best of each counts.
//
//   indexnow_bench     prints the time ratio run : (curl + sqlite3) (target <= 1.2), the ratio
//                      to curl alone for reference, and the run's peak resident memory (VmHWM,
//                      target <= 300 MB)
#include "bench/QuietRunHost.h"
#include "core/Config.h"
#include "core/run/HttpRunClient.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "core/indexnow/IndexNowChannel.h"
#include "core/profiles/SiteProfile.h"
#include "core/store/SiteStore.h"
#include "core/sitemaps/SitemapReader.h"
#include "core/run/SubmissionRun.h"
#include "core/sitemaps/UrlTable.h"
#include "platform/EventLoopQt.h"
#include "tools/simulator/EngineSimulator.h"

#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int Files = 20;
constexpr int PerFile = 50'000;
const std::string Key = "5e1f0c3b7a9d4e2f8b6c1a0d3e5f7b9c";

// The URL of page i: the first is the site's root, which is also the profile URL.
std::string page(const std::string& site, int i) {
    if (i == 0) return site + "/";
    char path[64];
    std::snprintf(path, sizeof path, "/shop/dept-%02d/product-%07d", i / PerFile, i);
    return site + path;
}

void writeSite(const fs::path& dir, const std::string& site) {
    fs::create_directories(dir);
    std::string index = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (int f = 0; f < Files; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "sitemap-%02d.xml.gz", f);
        index += "<sitemap><loc>" + site + "/" + name + "</loc></sitemap>\n";
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
        for (int i = f * PerFile; i < (f + 1) * PerFile; ++i)
            text += "<url><loc>" + page(site, i) + "</loc><lastmod>2024-05-" + std::to_string(1 + i % 28) +
                    "</lastmod></url>\n";
        text += "</urlset>\n";
        gzFile out = gzopen((dir / name).c_str(), "wb6");
        gzwrite(out, text.data(), static_cast<unsigned>(text.size()));
        gzclose(out);
    }
    std::ofstream(dir / "sitemap_index.xml") << index << "</sitemapindex>\n";
    std::ofstream(dir / (Key + ".txt")) << Key << "\n";
}

long peakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

std::string curlQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The store's own writes of the run, made by the sqlite3 command alone: the same schema (read
// from the run's store), the baseline of 1,000,000 URL rows in one transaction and 100 commits
// of 10,000 acceptances each, in WAL mode with a full sync. What no run that keeps the store
// can do without.
double storeWrites(const fs::path& dir, const fs::path& store, const std::string& site) {
    const fs::path schema = dir / "peer-schema.sql", script = dir / "peer.sql", db = dir / "peer.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(db.string() + suffix);
    if (std::system(("sqlite3 '" + store.string() + "' .schema > '" + schema.string() + "'").c_str()) != 0)
        return -1;
    std::ofstream out(script);
    out << "PRAGMA journal_mode=WAL;\nPRAGMA synchronous=FULL;\nPRAGMA foreign_keys=ON;\n"
        << "PRAGMA cache_size=-32768;\n.read '" << schema.string() << "'\n"
        << "INSERT INTO sites(id, name, created) VALUES(1, 'Bench', 0);\n"
        << "BEGIN IMMEDIATE;\nWITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
        << Files * PerFile - 1 << ") INSERT INTO urls(site, url, first_seen, lastmod, listed) SELECT 1, "
        << "printf('" << site << "/shop/dept-%02d/product-%07d', i / " << PerFile << ", i), 0, 0, 1 FROM n;\n"
        << "COMMIT;\n";
    for (int b = 0; b < Files * PerFile / 10'000; ++b)
        out << "BEGIN IMMEDIATE;\nINSERT INTO announcements(url, channel, at, accepted, answer, lastmod) "
            << "SELECT id, '" << IndexNowChannelId << "', 1, 1, '200 OK', lastmod FROM urls WHERE id > "
            << b * 10'000 << " AND id <= " << (b + 1) * 10'000 << ";\nCOMMIT;\n";
    out.close();
    QElapsedTimer clock;
    clock.start();
    const std::string command = "sqlite3 '" + db.string() + "' < '" + script.string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0) return -1;
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const fs::path root = dir.path().toStdString();
    qputenv("XDG_STATE_HOME", (dir.path() + "/state").toUtf8());
    const std::string tls = (root / "tls").string();
    if (std::system(("'" LARKSPAN_SOURCE_DIR "/tools/make-demo-certs.sh' '" + tls + "'").c_str()) != 0) {
        std::fprintf(stderr, "indexnow_bench: cannot make the certificates\n");
        return 1;
    }
    // The simulator logs every request with its body, 2.4 MB a POST: in memory (/dev/shm) where
    // there is one, so that the harness does not compete with the store's writes for the disk.
    const QByteArray tmpdir = qgetenv("TMPDIR");
    if (QFileInfo("/dev/shm").isWritable()) qputenv("TMPDIR", "/dev/shm");
    EngineSimulator simulator({}, EngineSimulator::defaultScript(),
                              {tls + "/server.pem", tls + "/server.key"},
                              {"--sites", (root / "sites").string()});
    tmpdir.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmpdir);
    const std::string site = "https://127.0.0.1:" + std::to_string(simulator.port());
    const std::string endpoint = site + "/indexnow";
    writeSite(root / "sites" / "127.0.0.1", site);

    const fs::path profiles = root / "profiles";
    fs::create_directories(profiles);
    ProfileFiles store(profiles.string());
    store.save(
        {"Jane Doe", "jane@example.com", site + "/", "Bench", "Business", "", "", "English", "", "", "", "",
         "", "United States", "", ""},
        {{IndexNowKeyKey, Key}, {SitemapKey, site + "/sitemap_index.xml"}, {IndexNowFirstRunKey, "all"}});
    Config config;
    config.catalogue = false;
    config.caFile = tls + "/ca.pem";
    config.indexNowEndpoints = {endpoint};
    // The sending is measured; the checks of the pages have a bench of their own.
    config.checkPages = false;

    FixedWidthMeasure measure;
    double bestRun = 1e9, bestCurl = 1e9, bestWrites = 1e9;
    long peak = -1;
    std::size_t posts = 0;
    QString curlFile;
    for (int turn = 0; turn < 2; ++turn) {
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(SiteStore::fileName(profiles.string()) + suffix);
        QuietRunHost host(measure, profiles.string());
        HttpRunClient client;
        SubmissionRun run(host, client, config);
        run.Start();
        run.setProfileDirectory(profiles.string());
        run.addChannel(std::make_unique<IndexNowChannel>());
        const std::size_t before = simulator.requests().size();
        QElapsedTimer clock;
        clock.start();
        run.Submit({"Bench"});
        bestRun = std::min(bestRun, clock.nsecsElapsed() / 1e9);
        if (peak < 0) peak = peakKiB();
        const auto received = simulator.requests();
        posts = 0;
        for (std::size_t i = before; i < received.size(); ++i)
            posts += received[i].method == "POST" ? 1 : 0;
        SiteStore siteStore = SiteStore::open(profiles.string());
        const auto accepted =
            static_cast<std::size_t>(siteStore.acceptedCount(siteStore.site("Bench"), IndexNowChannelId));
        if (run.ResultCount() != 1 || accepted != 1'000'000 || posts != 100 || !host.log.empty()) {
            std::fprintf(stderr, "indexnow_bench: the run did not announce every URL (%zu accepted)%s%s\n",
                         accepted, host.log.empty() ? "" : ": ",
                         host.log.empty() ? "" : host.log.front().c_str());
            return 1;
        }

        if (curlFile.isEmpty()) {
            // The same bodies, made from the same URLs after the run's memory was measured.
            UrlTable urls;
            std::vector<std::size_t> all;
            for (int i = 0; i < Files * PerFile; ++i)
                all.push_back(urls.insert(page(site, i), NoLastmod).first);
            const IndexNowSubmission submission(Url::parse(site + "/").value(), Key, "", urls, all);
            std::string conf;
            for (std::size_t b = 0; b < submission.batchCount(); ++b) {
                const std::string file = (root / ("body-" + std::to_string(b) + ".json")).string();
                std::ofstream(file, std::ios::binary) << submission.body(b);
                conf += "url = " + curlQuoted(endpoint) + "\nhttp1.0\noutput = \"/dev/null\"\nsilent\nfail\n";
                conf += "cacert = " + curlQuoted(config.caFile) + "\n";
                conf += "header = \"Content-Type: application/json; charset=utf-8\"\n";
                conf += "data-binary = " + curlQuoted("@" + file) + "\n";
                if (b + 1 < submission.batchCount()) conf += "next\n";
            }
            curlFile = dir.filePath("curl.config");
            std::ofstream(curlFile.toStdString()) << conf;
        }
        const std::size_t beforeCurl = simulator.requests().size();
        QProcess curl;
        curl.setProcessChannelMode(QProcess::ForwardedChannels);
        clock.restart();
        curl.start("curl", {"-K", curlFile});
        if (!curl.waitForFinished(600000) || curl.exitCode() != 0) {
            std::fprintf(stderr, "indexnow_bench: curl failed\n");
            return 1;
        }
        bestCurl = std::min(bestCurl, clock.nsecsElapsed() / 1e9);
        if (simulator.requests().size() - beforeCurl != 100) {
            std::fprintf(stderr, "indexnow_bench: curl sent %zu requests, not 100\n",
                         simulator.requests().size() - beforeCurl);
            return 1;
        }
        const double writes = storeWrites(root, SiteStore::fileName(profiles.string()), site);
        if (writes < 0) {
            std::fprintf(stderr, "indexnow_bench: the sqlite3 command failed\n");
            return 1;
        }
        bestWrites = std::min(bestWrites, writes);
    }
    std::printf("run:  %.3f s (21 sitemap GETs, 1,000,000 URLs read and compared, %zu POSTs of 10,000)\n",
                bestRun, posts);
    std::printf("curl: %.3f s (the same 100 POSTs)\n", bestCurl);
    std::printf("sqlite3: %.3f s (the run's store writes: 1,000,000 rows, 100 commits of 10,000 "
                "acceptances, full sync)\n",
                bestWrites);
    std::printf("time ratio run : (curl + sqlite3) %.2f (target <= 1.2)\n",
                bestRun / (bestCurl + bestWrites));
    std::printf("time ratio run : curl alone %.2f (for reference)\n", bestRun / bestCurl);
    std::printf("peak resident memory of the run %.1f MB (target <= 300 MB)\n", peak / 1024.0);
    return 0;
}
