#pragma once

#include "core/store/StorePages.h"
#include "core/store/StoreStatus.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Where each page of a site stands, read from the store: its check, its announcements and what
// Google said of it. `larkspan status` prints it; the Site Status window shows it.

// The counts of one site's pages in its sitemaps.
struct SiteSummary {
    using Counts = std::vector<std::pair<std::string, std::int64_t>>;
    std::int64_t pages = 0;
    // Page checks by Googlebot's verdict ("ok", "noindex", ...; "" for pages not checked).
    Counts checks;
    std::int64_t indexNowAccepted = 0;
    // Pages IndexNow has not accepted (never sent, recorded as known, or refused).
    std::int64_t indexNowPending = 0;
    // While IndexNow asked for a pause, its end; 0 when none holds.
    std::int64_t indexNowPausedUntil = 0;
    std::int64_t googleIndexed = 0;
    // Pages inspected and not indexed, by Google's coverage state.
    Counts notIndexed;
    std::int64_t notInspected = 0;
    std::vector<StoredSitemapStatus> sitemaps;
    // When and why the last run could not read the site; nothing once a run read it since.
    std::optional<SiteStore::Unreadable> unreadable;
};

// Reads the summary of the site; now decides whether a pause still holds.
SiteSummary siteSummary(const SiteStore& store, const StoreSite& site, std::int64_t now);
// The summary for people, one sentence a line without tabs, headed by the site's name.
std::vector<std::string> summaryLines(const std::string& name, const SiteSummary& summary);
// The summary as one JSON object (the first line of `status --json`).
std::string summaryJson(const std::string& name, const SiteSummary& summary);

// Everything known of one URL of the site's sitemaps.
struct UrlStatus : StoredPage {
    // The IndexNow state: "accepted", "known" (recorded without being sent) or "pending".
    std::string indexNowState() const;
};

// Calls back with each URL of the site's sitemaps in the order the store met them; returns how
// many. Rows are read one at a time, so a million URLs need no more memory than one.
std::size_t forEachUrlStatus(const SiteStore& store, const StoreSite& site,
                             const std::function<void(UrlStatus&&)>& callback);
// URL<TAB>CHECK<TAB>INDEXNOW<TAB>GOOGLE-VERDICT<TAB>COVERAGE<TAB>LAST-CRAWL; empty fields for none.
std::string urlStatusLine(const UrlStatus& status);
// One JSON object with every kept field.
std::string urlStatusJson(const UrlStatus& status);

// All the Site Status window shows of one profile, read at once (beside the event loop).
struct SiteStatusData {
    std::string name;
    std::vector<std::string> summary;
    std::vector<UrlStatus> urls;
    // Why nothing could be read (no store yet, a damaged one); empty when it was read.
    std::string problem;
};
// Reads the profile's status from the store of the directory without making a store.
SiteStatusData loadSiteStatus(const std::string& profileDirectory, const std::string& name, std::int64_t now);
