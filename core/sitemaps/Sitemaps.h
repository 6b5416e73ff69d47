#pragma once

#include "core/sitemaps/UrlTable.h"
#include "http/Url.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct Config;
class SitemapSource;

// The part of a site a sitemap may speak for. A sitemap on the site's origin speaks for its
// own folder and below ("http://example.com/shop/sitemap.xml" covers "http://example.com/shop/..."
// only); one that the site's robots.txt names on another host (sitemaps.org's cross-submission)
// speaks for the site's origin. Both are compared after normalisation, so "/shop/../admin" is
// not in "/shop/" and another port or scheme is another origin.
class SitemapScope {
public:
    SitemapScope(const Url& sitemap, const Url& site);
    bool contains(std::string_view url) const;

private:
    Url folder_; // a URL whose folder is the scope
    // The normalised origin and folder: a URL that starts with it and holds nothing that
    // normalisation could change needs no parsing.
    std::string prefix_;
};

// Whether the text can stand as a sitemap's URL: http or https with a host, less than 2,048
// bytes, and no white space or control bytes.
bool isSitemapUrl(std::string_view url);

// Why a profile's Sitemap value cannot be saved (a host with a line break, a blank or another
// control character, or no http or https URL at all); nothing for an empty or a good value.
std::optional<std::string> sitemapKeyProblem(std::string_view value);

// The "Sitemap:" lines of a robots.txt (the field name in any case), in their order, each
// resolved against the robots.txt's URL; a value that cannot be resolved is kept as written.
std::vector<std::string> sitemapsOfRobots(std::string_view robots, const Url& robotsUrl);

// What reading a site's sitemaps gave.
struct SiteSitemaps {
    // The URLs in document order without duplicates, each with its lastmod (or NoLastmod).
    UrlTable urls;
    // The sitemaps the site names (its Sitemap key, or those of robots.txt, else /sitemap.xml).
    std::vector<std::string> sitemaps;
    // The sitemaps of that list that answered with 2xx and could be read.
    std::vector<std::string> sitemapsRead;
    // Why each sitemap of that list that got no answer at all (refused, DNS, TLS, time-out) got
    // none: when every one is so, the site could not be read.
    std::vector<std::string> unanswered;
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

// What reading one profile's sitemaps may take at most: URLs kept, bytes of XML (after
// inflation) and time; and how many sitemaps of an index are fetched at once.
struct SitemapBounds {
    std::size_t maxUrls = 1'000'000;
    std::uint64_t maxBytes = std::uint64_t{1} << 30;
    std::chrono::milliseconds maxTime{300'000};
    int atOnce = 4;
};
SitemapBounds sitemapBounds(const Config& config);

// The sitemaps a profile uses. The key names a sitemap, a sitemap index or a robots.txt;
// empty, it means the site origin's /robots.txt. The Sitemap lines of a robots.txt count
// (on any host), or the origin's /sitemap.xml when it names none (or cannot be read).
std::vector<std::string> findSitemaps(const Url& site, std::string_view sitemapKey, SitemapSource& source,
                                      std::vector<std::string>& problems);

// Finds the site's sitemaps and reads them, each index's sitemaps one level deep and several
// at a time, within the bounds. Only URLs on the site's origin count.
SiteSitemaps readSitemaps(const Url& site, std::string_view sitemapKey, SitemapSource& source,
                          const SitemapBounds& bounds);
// The same for a profile URL as typed (tests and tools); a URL that names no site gives a
// problem and nothing else.
SiteSitemaps readSitemaps(std::string_view profileUrl, std::string_view sitemapKey, SitemapSource& source,
                          const SitemapBounds& bounds);
