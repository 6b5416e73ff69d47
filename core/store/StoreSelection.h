#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

class SiteStore;
class UrlTable;
struct StoreSite;

// What the first run of a channel on a site announces: the profile URL and the pages whose
// lastmod lies within the last 48 hours (the rest is recorded as known), or every page.
enum class FirstRun { RecentPages, AllPages };
// Whether the selection writes what it saw to the store (a run) or only tells (a preview).
enum class SelectionMode { Record, Preview };
// Whether the sitemaps were read without a problem: only then is a URL they no longer list
// taken as gone from them, and only then does a first run's baseline count as recorded (until
// one does, every run of the channel is a first run).
enum class SitemapRead { Complete, Partial };
// Whether a Record selection that makes many rows, every one of them for a URL it announces,
// may leave them to a thread of the store's (SiteStore::writeRowsInBackground) and return at
// once, the rows' ids being fixed already. The table of URLs must then stay (it may grow) until
// the store has written them: until SiteStore::settle() or until the store goes.
enum class NewRows { Now, InBackground };

// A lastmod this close to the run (or later) counts as recent on the first run.
constexpr std::int64_t FirstRunRecentSeconds = 48 * 3600;

// What a channel announces for a site in this run.
struct AnnounceSelection {
    // The profile URL goes first: when first seen, or when its own lastmod changed.
    bool profileUrl = false;
    // The sitemap entries (indices into the table), in document order, the profile URL's own
    // entry left out.
    std::vector<std::size_t> indices;
    // The channel met the site now.
    bool firstRun = false;
    // A first run whose sitemaps were not all read: what it recorded stays, and the next run is
    // a first run again.
    bool baselinePending = false;
    // URLs recorded as known on the first run without being sent.
    std::size_t recordedUnsent = 0;
    // In Record mode, the store's row of each entry (by table index) and of the profile URL: what
    // the channel's acceptance is recorded by.
    std::vector<std::int64_t> rows;
    std::int64_t profileRow = 0;
};

struct SelectionRequest {
    std::string_view channel;
    std::string_view profileUrl;
    FirstRun firstRun = FirstRun::RecentPages;
    SelectionMode mode = SelectionMode::Record;
    SitemapRead read = SitemapRead::Complete;
    std::int64_t now = 0;
    NewRows newRows = NewRows::Now;
};

// Compares the sitemaps' URLs (lastmod as the table's values) with what the store holds for the
// site and chooses what the channel announces: on its first run the rule above; later, URLs that
// are new, or whose lastmod is later than the channel's last acceptance (or than the time they
// were recorded as known). In Record mode it also keeps what it saw: new URLs, changed lastmods,
// URLs that left the sitemaps, and the first run's baseline, in one transaction. The profile URL
// goes when the channel has not accepted it yet, and when its own lastmod changed since.
// An empty channel is the site's own record of its sitemaps, which decides nothing for a channel.
AnnounceSelection selectAnnouncements(SiteStore& store, const StoreSite& site, const UrlTable& urls,
                                      const SelectionRequest& request);

// What a run records of a site's sitemaps when no channel's selection in Record mode did: URLs
// new to the site, changed lastmods, the URLs they no longer list (when they were read
// completely) and the profile URL, in one transaction, as a selection of no channel.
void recordSitemaps(SiteStore& store, const StoreSite& site, const UrlTable& urls,
                    std::string_view profileUrl, SitemapRead read, std::int64_t now);
