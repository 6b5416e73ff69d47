// The site store with 1,000,000 sitemap URLs, against the sqlite3 command importing the same
// 1,000,000 lines into an equal table in the same run.
//
//   store_bench   the first run of a channel on the site (every URL recorded, the baseline),
//                 then a run in which 1% of the pages changed, each as a time ratio to the
//                 sqlite3 import (target <= 2); then the peak resident memory (VmHWM) of the
//                 process with the URL table and the store (target <= 150 MB).
#include "core/indexnow/IndexNowChannel.h"
#include "core/sitemaps/UrlTable.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreSelection.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t Urls = 1'000'000;
constexpr std::int64_t Now = 1'800'000'000;
constexpr std::int64_t OldLastmod = 1'700'000'000;

long peakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A shop's URL of about 70 bytes.
std::string urlOf(std::size_t i) {
    return "https://www.example-garden-supplies.com/products/category-" + std::to_string(i % 997) + "/item-" +
           std::to_string(i) + ".html";
}

// The same table as the store's, filled by the sqlite3 command from the lines of the file.
double sqlite3Import(const fs::path& dir, const fs::path& lines) {
    const fs::path script = dir / "import.sql";
    std::ofstream(script)
        << "PRAGMA journal_mode=WAL;\nPRAGMA synchronous=FULL;\n"
           "CREATE TABLE urls(id INTEGER PRIMARY KEY, site INTEGER NOT NULL, url TEXT NOT NULL,"
           " first_seen INTEGER NOT NULL, lastmod INTEGER, listed INTEGER NOT NULL DEFAULT 0,"
           " last_seen INTEGER, left_at INTEGER, UNIQUE(site, url));\n"
           "CREATE TEMP TABLE lines(url TEXT, lastmod INTEGER);\n"
           ".mode tabs\n.import "
        << lines.string()
        << " lines\n"
           "INSERT INTO urls(site, url, first_seen, lastmod, listed) "
           "SELECT 1, url, 0, lastmod, 1 FROM lines;\n";
    const std::string command =
        "sqlite3 " + (dir / "peer.db").string() + " < " + script.string() + " > /dev/null";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "store_bench: the sqlite3 command failed\n");
        std::exit(1);
    }
    return secondsSince(start);
}

double run(const fs::path& dir, const UrlTable& urls, std::int64_t now, AnnounceSelection& selection) {
    const auto start = Clock::now();
    SiteStore store = SiteStore::open(dir.string());
    const StoreSite site = store.site("Bench");
    selection =
        selectAnnouncements(store, site, urls,
                            {IndexNowChannelId, "https://www.example-garden-supplies.com/",
                             FirstRun::RecentPages, SelectionMode::Record, SitemapRead::Complete, now});
    return secondsSince(start);
}

} // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("larkspan-store-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    UrlTable urls;
    {
        std::ofstream lines(dir / "lines.tsv", std::ios::binary);
        for (std::size_t i = 0; i < Urls; ++i) {
            const std::string url = urlOf(i);
            urls.insert(url, OldLastmod);
            lines << url << '\t' << OldLastmod << '\n';
        }
    }
    const double peer = sqlite3Import(dir, dir / "lines.tsv");
    fs::remove(dir / "lines.tsv");

    AnnounceSelection first;
    const double baseline = run(dir, urls, Now, first);
    // One page in a hundred changed since.
    for (std::size_t i = 0; i < Urls; i += 100)
        urls.setValue(i, Now + 60);
    AnnounceSelection second;
    const double changed = run(dir, urls, Now + 3600, second);

    std::printf("sqlite3 importing %zu lines into an equal table: %.2f s\n", Urls, peer);
    std::printf("first run, baseline of %zu URLs (%zu recorded without being sent): %.2f s, ratio %.2f "
                "(target <= 2)\n",
                urls.size(), first.recordedUnsent, baseline, baseline / peer);
    std::printf("run with 1%% changed (%zu to send): %.2f s, ratio %.2f (target <= 2)\n",
                second.indices.size(), changed, changed / peer);
    std::printf("peak memory (VmHWM) %.1f MB, the URL table %.1f MB of it (target <= 150 MB)\n",
                static_cast<double>(peakKiB()) / 1024, static_cast<double>(urls.memoryBytes()) / (1 << 20));
    std::error_code ec;
    fs::remove_all(dir, ec);
    return second.indices.size() == Urls / 100 ? 0 : 1;
}
