#pragma once

#include "core/store/StoreReport.h"
#include "core/store/StoreStatus.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SiteStore;
struct StoreSite;

// What the store knows of each page of a site's sitemaps (a URL they list now): its latest
// check, the channels' answers and Google's latest inspection, for the site's status.

// The listed pages that share a check verdict, an answer of one channel and an inspection.
struct PageGroup {
    // Googlebot's verdict of the latest check; empty for pages never checked.
    std::string checkVerdict;
    // The channel accepted the pages; false when it recorded them as known, or has no answer.
    bool accepted = false;
    bool inspected = false;
    // Google's verdict and coverage state; empty for pages not inspected or fields Google left out.
    std::string verdict;
    std::string coverageState;
    std::int64_t pages = 0;
};
// The site's listed pages in groups, with the answers of the channel of that name.
std::vector<PageGroup> listedPageGroups(const SiteStore& store, const StoreSite& site,
                                        std::string_view channel);
// The one grouping query the groups are read with: the site's id is ?1, the channel's name ?2.
// The benchmark of the site status runs the same text in the sqlite3 command.
extern const char* const ListedPageGroupsQuery;

// Records the URLs as listed by the site's sitemaps, first seen at that time, without a lastmod
// and without any channel's answer, in one transaction; a URL the store holds already stays as
// it is. It makes the pages of a site that a test or a benchmark needs without a channel's run.
void addListedUrls(SiteStore& store, const StoreSite& site, const std::vector<std::string>& urls,
                   std::int64_t firstSeen);

// Everything the store keeps of one listed page.
struct StoredPage {
    // A channel's last answer: accepted, or recorded as known without being sent.
    using Announcement = UrlHistory::Answer;
    std::string url;
    // Googlebot's verdict of the latest page check and its detail; empty when never checked.
    std::string check;
    std::string checkDetail;
    std::optional<std::int64_t> checkedAt;
    // In the order of the channels' names.
    std::vector<Announcement> announcements;
    std::optional<StoredInspection> inspection;
};
// Calls back with each listed page of the site in the order the store met them; returns how
// many. Rows are read one at a time, so a million pages need no more memory than one.
std::size_t forEachListedPage(const SiteStore& store, const StoreSite& site,
                              const std::function<void(StoredPage&&)>& callback);
