#pragma once

#include "core/checks/PageCheck.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class SiteStore;
struct StoreSite;

// The number of verdicts, for tables indexed by Verdict.
constexpr std::size_t VerdictCount = 8;

// How many pages have each verdict for one crawler.
struct VerdictCounts {
    std::array<std::size_t, VerdictCount> counts{};

    void add(Verdict verdict) { ++counts[static_cast<std::size_t>(verdict)]; }
    std::size_t of(Verdict verdict) const { return counts[static_cast<std::size_t>(verdict)]; }
    std::size_t total() const;
    // "12 ok, 1 not-found, 2 noindex": the verdicts that occur, in the order of Verdict.
    std::string text() const;
};

// Keeps the checks as the latest of their URLs (any spelling of a URL the store holds for the
// site), with the verdicts for Googlebot and bingbot, in one transaction. A URL the store does
// not hold for the site is not kept. Returns how many were kept. Throws StoreFull or StoreError.
std::size_t recordPageChecks(SiteStore& store, const StoreSite& site, const std::vector<PageCheck>& checks);

// The latest check of each URL of the site, in the order the store met the URLs.
std::vector<PageCheck> latestPageChecks(const SiteStore& store, const StoreSite& site);

// The verdicts of the site's latest checks for the crawler.
VerdictCounts countPageVerdicts(const SiteStore& store, const StoreSite& site, Crawler crawler);

// The URLs that left the site's sitemaps and are due a check before the channel hears of them:
// not announced to the channel since they left, and not checked since, or checked and found
// missing (404) or gone (410), which the channel is told once. A page that still answered 200
// after it left is not asked for again.
struct LeftPage {
    std::string url;
    std::int64_t row = 0;
};
std::vector<LeftPage> leftPagesDue(const SiteStore& store, const StoreSite& site, std::string_view channel);

// The latest checks of the named profile's site in the store of the profile directory; none
// when there is no store yet (none is made) or it holds nothing of the site.
std::vector<PageCheck> storedPageChecks(const std::string& profileDirectory, const std::string& name);
