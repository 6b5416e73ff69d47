#pragma once

#include "core/sitemaps/SitemapSource.h"
#include "core/sitemaps/Sitemaps.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreClaim.h"

#include <optional>
#include <string>

class LiveRun;

// The engine of the request-log records of what a run reads of a site before its channels
// announce it: the probe of the profile URL, robots.txt and the sitemaps.
constexpr const char* SiteEngine = "Site";

// What a run reads of a site once per profile, before its channels: robots.txt and the
// sitemaps, whatever channels the profile uses. A run holds the site in the store (its claim)
// from the start of the reading until the profile is done, and records the sitemaps there (new
// URLs, lastmods, URLs that left them): with IndexNow's selection, which writes a large site's
// new rows beside its POSTs, or else before the inspections and at the profile's end. A dry run
// records nothing and makes no file: it reads the store when there is one, and an empty one
// stands in when there is none.
//
// A site whose robots.txt cannot be fetched or answers 5xx or 429, or whose every sitemap gets
// no answer, could not be read: its channels announce nothing, and unreadable() says why.
class SiteReading {
public:
    // Reads the site of the run's probe; when the probe got no answer at all, `unreachable`
    // says why, and nothing more is read. Throws StoreError when the store cannot be used (a
    // dry run's store included), and whatever the run's requests throw (LiveRun::Stopped).
    explicit SiteReading(LiveRun& run, const std::string& unreachable = {});
    SiteReading(const SiteReading&) = delete;
    SiteReading& operator=(const SiteReading&) = delete;

    // Why nothing may be announced ("robots.txt answered 503"); empty when the site was read.
    const std::string& unreadable() const { return unreadable_; }
    // The sitemaps as read; a channel may add to the table (pages that left the sitemaps).
    SiteSitemaps& sitemaps() { return sitemaps_; }
    SiteStore& store() { return store_; }
    const StoreSite& storeSite() const { return site_; }

    // A channel's selection recorded the sitemaps as it chose.
    void recorded() { recorded_ = true; }
    // Records the sitemaps unless that was done (nothing in a dry run or for a site that could
    // not be read).
    void record();

    // The message of a site that could not be read: "SITE could not be read: CAUSE; nothing was
    // announced".
    static std::string unreadableLine(const std::string& siteTitle, const std::string& cause);

private:
    // Takes the site's robots.txt, once, for the sitemaps and the page checks; the cause of a
    // failure becomes unreadable_. The copy that the last live run kept (with an ETag or a
    // Last-Modified) is revalidated, and a 304 reuses it.
    void readRobots(LiveRun& run);

    LiveRun& run_;
    bool recorded_ = false;
    SiteStore store_;
    StoreSite site_;
    std::optional<SiteClaim> claim_;
    std::string robotsUrl_;
    FetchResult robotsResult_;
    std::string robotsBody_;
    SiteSitemaps sitemaps_;
    std::string unreadable_;
};

// A run's source of sitemaps that answers the site's robots.txt from what the reading took
// (the first RobotsMaxBytes + 1 bytes) and fetches the rest through the run, as SITE's requests.
class ReadingSitemapSource final : public SitemapSource {
public:
    ReadingSitemapSource(LiveRun& run, std::string robotsUrl, FetchResult robots, std::string_view body)
        : run_(run, SiteEngine), robotsUrl_(std::move(robotsUrl)), robots_(std::move(robots)), body_(body) {}
    std::vector<FetchResult> fetchAll(std::vector<Fetch> fetches) override;

private:
    RunSitemapSource run_;
    std::string robotsUrl_;
    FetchResult robots_;
    std::string_view body_;
};
