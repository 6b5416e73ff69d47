// libFuzzer target: arbitrary bytes as a sitemap file, plain or gzip.
//
// The first byte chooses the size of the pieces the reader is fed, as the network would cut
// them; the rest is the file. Whatever it holds, the reader must stay inside the protocol's
// limits and end with entries or a message, never a crash, a leak or a hang.

#include "core/sitemaps/SitemapReader.h"
#include "platform/Time.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t piece = 1 + data[0] * 17;
    const std::string_view file(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::size_t handedOut = 0;
    SitemapReader reader([&](std::string_view loc, std::int64_t lastmod) {
        ++handedOut;
        // A location is bounded whatever the document sends, and dates are whole.
        if (loc.size() > SitemapReader::MaxLocLength + 64) std::abort();
        if (lastmod != NoLastmod && formatUtc(lastmod).empty()) std::abort();
        return true;
    });
    bool going = true;
    for (std::size_t at = 0; at < file.size() && going; at += piece)
        going = reader.feed(file.substr(at, piece));
    if (going) reader.finish();
    if (handedOut != reader.entries() || reader.entries() > SitemapReader::MaxEntries) std::abort();
    if (reader.bytes() > SitemapReader::MaxBytes) std::abort();
    if (reader.overLimit() && reader.problem().empty()) std::abort();
    // The date reader sees the same bytes as a lastmod would be.
    if (auto t = parseW3cDatetime(file.substr(0, 40))) {
        if (parseW3cDatetime(formatUtc(*t)) != t) std::abort();
    }
    return 0;
}
