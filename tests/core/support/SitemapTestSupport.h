#pragma once

#include "core/sitemaps/SitemapReader.h"
#include "core/sitemaps/SitemapSource.h"

#include <zlib.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// The bytes as one gzip member, as gzip(1) writes them.
inline std::string gzipped(const std::string& bytes) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, bytes.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// One entry as the reader handed it out.
struct ReadEntry {
    std::string loc;
    std::int64_t lastmod;
    bool operator==(const ReadEntry&) const = default;
};

struct ReadResult {
    std::vector<ReadEntry> entries;
    SitemapReader::Kind kind = SitemapReader::Kind::Unknown;
    std::string problem;
    bool overLimit = false;
};

// Reads the bytes in pieces of the given size, as they would come off the network.
inline ReadResult readInPieces(const std::string& bytes, std::size_t piece) {
    ReadResult r;
    SitemapReader reader([&](std::string_view loc, std::int64_t lastmod) {
        r.entries.push_back({std::string(loc), lastmod});
        return true;
    });
    bool going = true;
    for (std::size_t at = 0; at < bytes.size() && going; at += piece)
        going = reader.feed(std::string_view(bytes).substr(at, piece));
    if (going) reader.finish();
    r.kind = reader.kind();
    r.problem = reader.problem();
    r.overLimit = reader.overLimit();
    return r;
}

// Sitemaps and robots.txt files by URL, handed out in small pieces; everything else is 404.
class FileSource : public SitemapSource {
public:
    std::map<std::string, std::string> files;
    std::vector<std::string> fetched;
    std::size_t piece = 7;
    std::uint64_t bytesHandedOut = 0;

    // Several at once: the pieces of the files are handed out in turn, one of each file, as
    // transfers at once deliver them.
    std::vector<FetchResult> fetchAll(std::vector<Fetch> fetches) override {
        std::vector<FetchResult> results;
        std::vector<std::size_t> at(fetches.size(), 0);
        std::vector<bool> going(fetches.size(), false);
        for (std::size_t i = 0; i < fetches.size(); ++i) {
            fetched.push_back(fetches[i].url);
            auto it = files.find(fetches[i].url);
            going[i] = it != files.end();
            results.push_back(going[i]
                                  ? FetchResult{200, {}, fetches[i].url}
                                  : FetchResult{404, "the server answered with status 404", fetches[i].url});
        }
        for (bool any = true; any;) {
            any = false;
            for (std::size_t i = 0; i < fetches.size(); ++i) {
                if (!going[i]) continue;
                const std::string& file = files.at(fetches[i].url);
                if (at[i] >= file.size()) continue;
                const std::string_view part = std::string_view(file).substr(at[i], piece);
                at[i] += part.size();
                bytesHandedOut += part.size();
                going[i] = fetches[i].sink(part);
                any = true;
            }
        }
        return results;
    }
};
