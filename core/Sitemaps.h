#pragma once

#include "core/UrlTable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class SitemapSource;

// The part of a site a sitemap may speak for: its scheme, host and port, and for a sitemap
// below the root, its folder ("http://example.com/shop/sitemap.xml" covers
// "http://example.com/shop/..." only).
class SitemapScope {
public:
    explicit SitemapScope(std::string_view sitemapUrl);
    bool contains(std::string_view url) const;
    bool valid() const { return valid_; }

private:
    bool valid_ = false;
    std::string origin_; // "scheme://host:port", lowercased, the port always given
    std::string folder_;
    // The sitemap's own scheme, authority and folder as written: nearly every URL of a sitemap
    // starts with it, and then needs no parsing.
    std::string written_;
};

// Whether the text can stand as a sitemap's URL: http or https with a host, less than 2,048
// bytes, and no white space or control bytes.
bool isSitemapUrl(std::string_view url);

// The "Sitemap:" lines of a robots.txt (the field name in any case), in their order. A
// value that starts with "/" is taken on the robots.txt's own origin.
std::vector<std::string> sitemapsOfRobots(std::string_view robots, std::string_view robotsUrl);

// What reading a site's sitemaps gave.
struct SiteSitemaps {
    // The URLs in document order without duplicates, each with its lastmod (or NoLastmod).
    UrlTable urls;
    // The sitemaps the site names (its Sitemap key, or those of robots.txt, else /sitemap.xml).
    std::vector<std::string> sitemaps;
    // Sitemap files that were read (an index and each of its sitemaps count once).
    int filesRead = 0;
    // URLs outside the scope of their sitemap, or that are no URL at all.
    std::size_t dropped = 0;
    std::size_t duplicates = 0;
    // Files (and the total) that went past a limit; what came before it is kept.
    int overLimit = 0;
    // One sentence per thing that went wrong, each naming the file.
    std::vector<std::string> problems;
};

// The most a robots.txt is read: Sitemap lines further down are not looked for.
constexpr std::size_t RobotsMaxBytes = 500 * 1024;

// The sitemaps a profile uses. The key names a sitemap, a sitemap index or a robots.txt;
// empty, it means the profile URL's /robots.txt. The Sitemap lines of a robots.txt count, or
// /sitemap.xml when it names none (or cannot be read). Sitemaps on another host than the
// robots.txt's are left out with a problem, since nothing is fetched from another host.
std::vector<std::string> findSitemaps(std::string_view profileUrl, std::string_view sitemapKey,
                                      SitemapSource& source, std::vector<std::string>& problems);

// Finds the profile's sitemaps and reads them, each index's sitemaps one level deep, keeping
// at most maxUrls URLs in all.
SiteSitemaps readSitemaps(std::string_view profileUrl, std::string_view sitemapKey, SitemapSource& source,
                          std::size_t maxUrls);
