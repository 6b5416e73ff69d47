#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What Google says of the sitemaps submitted to a Search Console property: the answer of
// GET {base}/webmasters/v3/sites/SITE/sitemaps, read.

// The largest answer that is read: a property lists a few hundred sitemaps at most.
constexpr std::size_t MaxSitemapListBytes = 4 << 20;

// The address of the list of a property's sitemaps (base as Config::googleApiBase).
std::string searchConsoleSitemapListUrl(std::string_view apiBase, std::string_view property);

// The URLs of one kind that a sitemap holds.
struct SitemapContents {
    std::string type; // web, image, video, news, mobile, androidApp, iosApp, pattern, ...
    std::int64_t submitted = 0;
    // Google deprecated this and no longer fills it in: it is kept as sent, and never shown as
    // the number of pages in the index.
    std::int64_t indexed = 0;
    friend bool operator==(const SitemapContents&, const SitemapContents&) = default;
};

// One sitemap as Google last saw it. Times are RFC 3339 texts, empty when not given (a sitemap
// Google has not read yet has no lastDownloaded).
struct SitemapStatus {
    std::string path;
    std::string lastSubmitted;
    std::string lastDownloaded;
    bool isPending = false;
    bool isSitemapsIndex = false;
    std::int64_t errors = 0;
    std::int64_t warnings = 0;
    std::vector<SitemapContents> contents;
    // How Google read the file: sitemap, rssFeed, atomFeed, urlList, patternSitemap, or
    // notSitemap for a file it could not read as any of them; empty when not given.
    std::string type;
    friend bool operator==(const SitemapStatus&, const SitemapStatus&) = default;
};

// The answer, read: the sitemaps, or a sentence saying why there are none (empty for a good
// answer, which may list no sitemap at all).
struct SitemapStatusList {
    std::vector<SitemapStatus> sitemaps;
    std::string problem;
    bool ok() const { return problem.empty(); }
};
// Reads the answer for the property. An answer other than 200 is a problem sentence with its
// status, what it means (a 403 of a disabled API or of permission as for the inspections, with
// the account's e-mail address) and Google's message; so is a 200 that is not such a list (too
// large, not JSON, a field of the wrong type). Never throws for what a server sent.
SitemapStatusList readSitemapStatus(int status, std::string_view reason, std::string_view body,
                                    std::string_view property, std::string_view account = {});
