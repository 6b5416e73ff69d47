// Sitemap reading, against Python's xml.etree.ElementTree.iterparse on the same file in the
// same run, and the peak memory of reading a whole index set of 1,000,000 URLs.
//
//   sitemap_bench   prints the time ratio reader : iterparse for a 50,000-URL sitemap of about
//                   10 MB (target <= 0.5), then the peak resident memory (VmHWM) after reading
//                   an index of 20 gzip sitemaps of 50,000 URLs each (target <= 200 MB). The
//                   store those URLs go to has its own benchmark, store_bench.
#include "core/sitemaps/SitemapSource.h"
#include "core/sitemaps/Sitemaps.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* Site = "https://example.com";

// One sitemap of 50,000 URLs shaped like a shop's: a lastmod and an image per page,
// about 10 MB in all.
std::string sitemapText(int file) {
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" "
                    "xmlns:image=\"http://www.google.com/schemas/sitemap-image/1.1\">\n";
    char line[512];
    for (int i = 0; i < 50'000; ++i) {
        std::snprintf(line, sizeof line,
                      "<url><loc>%s/shop/dept-%02d/product-%07d</loc>"
                      "<lastmod>2024-%02d-%02dT%02d:%02d:00+00:00</lastmod>"
                      "<image:image><image:loc>%s/img/%07d.jpg</image:loc></image:image></url>\n",
                      Site, file, file * 50'000 + i, 1 + i % 12, 1 + i % 28, i % 24, i % 60, Site, i);
        s += line;
    }
    return s + "</urlset>\n";
}

void writeGzip(const fs::path& path, const std::string& text) {
    gzFile out = gzopen(path.c_str(), "wb6");
    gzwrite(out, text.data(), static_cast<unsigned>(text.size()));
    gzclose(out);
}

// Serves "https://example.com/NAME" from the directory, in pieces of 64 KiB.
class DirectorySource : public SitemapSource {
public:
    explicit DirectorySource(fs::path dir) : dir_(std::move(dir)) {}
    std::vector<FetchResult> fetchAll(std::vector<Fetch> fetches) override {
        std::vector<FetchResult> results;
        for (const Fetch& fetch : fetches)
            results.push_back(read(fetch.url, fetch.sink));
        return results;
    }

private:
    FetchResult read(const std::string& url, const Sink& sink) {
        std::ifstream in(dir_ / url.substr(std::string(Site).size() + 1), std::ios::binary);
        if (!in) return {404, "the server answered with status 404", url};
        std::string piece(65536, '\0');
        while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0)
            if (!sink(std::string_view(piece.data(), static_cast<std::size_t>(in.gcount())))) break;
        return {200, {}, url};
    }

    fs::path dir_;
};

long peakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

} // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "larkspan-bench-sitemap";
    fs::remove_all(dir);
    fs::create_directories(dir);
    { std::ofstream(dir / "sitemap.xml", std::ios::binary) << sitemapText(0); }
    const auto fileBytes = fs::file_size(dir / "sitemap.xml");

    // The peer: iterparse over the same file, timed inside Python so that its start-up does
    // not count, taking each loc as the reader does.
    const std::string script = "import sys, time, xml.etree.ElementTree as ET\n"
                               "best = 1e99\n"
                               "for run in range(5):\n"
                               "    t = time.perf_counter(); n = 0\n"
                               "    for event, el in ET.iterparse(sys.argv[1]):\n"
                               "        if el.tag == '{http://www.sitemaps.org/schemas/sitemap/0.9}url':\n"
                               "            n += 1; el.clear()\n"
                               "    best = min(best, time.perf_counter() - t)\n"
                               "assert n == 50000, n\n"
                               "print(best)\n";
    std::ofstream(dir / "peer.py") << script;
    const std::string command =
        "python3 " + (dir / "peer.py").string() + " " + (dir / "sitemap.xml").string();

    // The reader as the program uses it: streamed in pieces, scope-checked and kept. The two
    // take turns, three rounds of five runs each, so that a busy moment of the machine does
    // not fall on one side only; the best time of each counts.
    DirectorySource source(dir);
    double ours = 1e99;
    double python = 1e99;
    for (int round = 0; round < 3; ++round) {
        for (int run = 0; run < 5; ++run) {
            const auto t0 = Clock::now();
            SiteSitemaps read = readSitemaps(Site, std::string(Site) + "/sitemap.xml", source, {1'000'000});
            ours = std::min(ours, std::chrono::duration<double>(Clock::now() - t0).count());
            if (read.urls.size() != 50'000) {
                std::fprintf(stderr, "sitemap_bench: %zu URLs read, not 50000\n", read.urls.size());
                return 1;
            }
        }
        FILE* peer = ::popen(command.c_str(), "r");
        double seconds = 0;
        if (!peer || std::fscanf(peer, "%lf", &seconds) != 1 || ::pclose(peer) != 0 || seconds <= 0) {
            std::fprintf(stderr, "sitemap_bench: the Python peer failed\n");
            return 1;
        }
        python = std::min(python, seconds);
    }
    std::printf("sitemap of %.1f MB, 50,000 URLs\n", static_cast<double>(fileBytes) / 1e6);
    std::printf("reader:    %.3f s\n", ours);
    std::printf("iterparse: %.3f s\n", python);
    std::printf("ratio reader : iterparse = %.2f (target <= 0.5)\n", ours / python);

    // An index of 20 gzip sitemaps of 50,000 URLs each.
    std::string index = "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (int file = 0; file < 20; ++file) {
        const std::string name = "part-" + std::to_string(file) + ".xml.gz";
        writeGzip(dir / name, sitemapText(file));
        index += "<sitemap><loc>" + std::string(Site) + "/" + name + "</loc></sitemap>";
    }
    std::ofstream(dir / "index.xml") << index << "</sitemapindex>";
    const long before = peakKiB();
    const auto t0 = Clock::now();
    SiteSitemaps all = readSitemaps(Site, std::string(Site) + "/index.xml", source, {1'000'000});
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const long peak = peakKiB();
    if (all.urls.size() != 1'000'000) {
        std::fprintf(stderr, "sitemap_bench: %zu URLs read from the index, not 1000000\n", all.urls.size());
        return 1;
    }
    std::printf("index of 20 gzip sitemaps: 1,000,000 URLs in %.2f s, URL table %.1f MB\n", seconds,
                static_cast<double>(all.urls.memoryBytes()) / (1 << 20));
    std::printf("peak memory (VmHWM) %.1f MB (%.1f MB before reading the index; target <= 200 MB)\n",
                static_cast<double>(peak) / 1024, static_cast<double>(before) / 1024);

    fs::remove_all(dir);
    return 0;
}
