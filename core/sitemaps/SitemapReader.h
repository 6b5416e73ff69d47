#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A lastmod that a sitemap entry does not give (or gives in a form that cannot be read).
constexpr std::int64_t NoLastmod = INT64_MIN;

// Reads one sitemap file (a urlset or a sitemap index) from pieces of bytes as they arrive,
// without ever holding the whole file: gzip is recognised by its first bytes and inflated on
// the way, the XML goes through expat, and each entry is handed out as soon as its end tag
// has been read.
//
// Elements count when their local name is in the sitemaps.org namespace or in none; entries
// of other namespaces (images, news, video, alternate links) are skipped. A document type
// declaration ends the reading at once: it is the only way to entity expansion and external
// entities, and sitemaps have no use for it. The protocol's limits hold: 50,000 entries and
// 52,428,800 bytes (after inflation) per file. At the first fault or limit the reading stops
// with a message; the entries handed out before it stay valid.
class SitemapReader {
public:
    static constexpr std::uint64_t MaxBytes = 52'428'800;
    static constexpr std::size_t MaxEntries = 50'000;
    // The protocol asks for locations of less than 2,048 characters.
    static constexpr std::size_t MaxLocLength = 2048;

    enum class Kind { Unknown, UrlSet, Index };
    // One entry: the location (entities decoded, white space around it removed) and its
    // lastmod or NoLastmod. Returning false stops the reading without a fault.
    using EntryHandler = std::function<bool(std::string_view loc, std::int64_t lastmod)>;

    explicit SitemapReader(EntryHandler onEntry);
    ~SitemapReader();
    SitemapReader(const SitemapReader&) = delete;
    SitemapReader& operator=(const SitemapReader&) = delete;

    // Reads the next piece. False once the reading has ended (a fault, a limit, or the handler
    // asked to stop); later pieces are ignored.
    bool feed(std::string_view piece);
    // The input is complete: a document cut off before its end is reported here.
    void finish();

    Kind kind() const { return kind_; }
    // What ended the reading early, as a sentence for the user; empty when nothing did.
    const std::string& problem() const { return problem_; }
    // The reading ended at one of the protocol's limits.
    bool overLimit() const { return overLimit_; }
    // Entries handed out.
    std::size_t entries() const { return entries_; }
    // Bytes of XML read (after inflation).
    std::uint64_t bytes() const { return bytes_; }
    bool gzip() const { return gzip_; }

private:
    struct Parser;
    bool feedXml(const char* data, std::size_t size);
    void fail(std::string message);
    void failFromExpat();

    friend struct Parser;
    std::unique_ptr<Parser> parser_;
    EntryHandler onEntry_;
    Kind kind_ = Kind::Unknown;
    std::string problem_;
    bool overLimit_ = false;
    bool ended_ = false;
    bool gzip_ = false;
    bool started_ = false;
    // The first byte, held back until the second tells whether the input is gzip.
    std::string head_;
    // The first bytes of the XML, to tell HTML that is no XML at all from broken XML.
    std::string start_;
    std::size_t entries_ = 0;
    std::uint64_t bytes_ = 0;
};
