#pragma once

#include "core/google/IndexStatusOrder.h"
#include "core/google/IndexStatusQuery.h"
#include "core/google/IndexStatusQuota.h"
#include "core/google/SitemapStatus.h"
#include "core/store/SiteStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the store keeps of Google's index status: the latest URL Inspection of each URL, the
// inspections counted per property and quota day, the pauses Google asked for, and each
// sitemap's status as Search Console lists it.

// The name under which inspection pauses live in the store's pauses table, with the property
// as the endpoint.
constexpr const char* InspectionChannel = "inspection";

// The latest inspection of a URL: when, in which property, and what Google said.
struct StoredInspection {
    std::int64_t at = 0;
    std::string property;
    InspectionResult result;
};

// Keeps the inspection of the URL (any spelling of it; a URL the store does not hold is not
// kept), replacing the one before. Throws StoreFull or StoreError.
void recordInspection(SiteStore& store, const StoreSite& site, std::string_view url,
                      std::string_view property, std::int64_t at, const InspectionResult& result);
std::optional<StoredInspection> storedInspection(const SiteStore& store, const StoreSite& site,
                                                 std::string_view url);
// One URL's inspection, for recordInspections.
struct UrlInspection {
    std::string url;
    StoredInspection inspection;
};
// Keeps many inspections in one transaction, each as recordInspection keeps one: for a store that
// is filled at once, such as the site of a million pages that a benchmark reads.
void recordInspections(SiteStore& store, const StoreSite& site,
                       const std::vector<UrlInspection>& inspections);

// A sitemap's status as Search Console last listed it for the site.
struct StoredSitemapStatus {
    std::string property;
    std::int64_t at = 0;
    SitemapStatus status;
};
// Replaces the site's sitemap statuses by the list Google gave at that time.
void recordSitemapStatuses(SiteStore& store, const StoreSite& site, std::string_view property,
                           std::int64_t at, const std::vector<SitemapStatus>& sitemaps);
std::vector<StoredSitemapStatus> storedSitemapStatuses(const SiteStore& store, const StoreSite& site);

// A URL of the site's sitemaps, in the order the store met them, with what the order of
// inspections needs to know of it.
struct StoredCandidate {
    std::string url;
    InspectionCandidate candidate;
};
// Whether a URL that has no page check yet may be inspected: only when page checks are off,
// since a page that is checked is inspected only once its check said ok.
enum class UncheckedPages { Inspect, Skip };
std::vector<StoredCandidate> inspectionCandidates(const SiteStore& store, const StoreSite& site,
                                                  UncheckedPages unchecked);

// The quota's counts and pauses in the store, so that the daily quota of a property holds across
// runs, profiles and processes. Counts are per property; a pause is written for the site and
// read from every site that uses the property.
class StoreQuotaCounts final : public QuotaCounts {
public:
    StoreQuotaCounts(SiteStore& store, StoreSite site) : store_(store), site_(std::move(site)) {}

    int used(const std::string& property, std::int64_t day) const override;
    void add(const std::string& property, std::int64_t day) override;
    std::optional<std::int64_t> latestDay(const std::string& property) const override;
    std::int64_t pausedUntil(const std::string& property) const override;
    void pause(const std::string& property, std::int64_t until) override;
    // Sets the count of a property's day outright, as another process that made that many
    // inspections leaves it.
    void setUsed(const std::string& property, std::int64_t day, int used);

private:
    SiteStore& store_;
    StoreSite site_;
};
