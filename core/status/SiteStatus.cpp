#include "core/status/SiteStatus.h"

#include "core/indexnow/IndexNowChannel.h"
#include "platform/Json.h"
#include "platform/Text.h"
#include "platform/Time.h"

#include <algorithm>
#include <array>
#include <map>
#include <unistd.h>
#include <utility>

namespace {

std::string count(std::int64_t n) {
    return withThousands(static_cast<std::uint64_t>(std::max<std::int64_t>(n, 0)));
}

void addTo(SiteSummary::Counts& counts, const std::string& key, std::int64_t n) {
    const auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == key; });
    if (it == counts.end())
        counts.emplace_back(key, n);
    else
        it->second += n;
}

// The most frequent first; ties by name, so that the order is the same every time.
void sortCounts(SiteSummary::Counts& counts) {
    std::sort(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
}

// Pages without a check, or inspected without a coverage state, count under "none".
std::string countsJson(const SiteSummary::Counts& counts) {
    std::string json = "{";
    for (const auto& [key, n] : counts)
        json +=
            (json.size() > 1 ? ", " : "") + jsonString(key.empty() ? "none" : key) + ": " + std::to_string(n);
    return json + "}";
}

std::string sitemapLine(const StoredSitemapStatus& stored) {
    const SitemapStatus& s = stored.status;
    // The type Google read the file as comes first: a file it did not take for a sitemap lists
    // no pages, whatever its other counts say. Stores from before the type was kept have none.
    std::string type;
    if (!s.type.empty())
        type = "type " + s.type +
               (s.type == "notSitemap" ? " (Google could not read it as a sitemap)" : std::string()) + ", ";
    std::string line = "Sitemap " + s.path + (s.isSitemapsIndex ? " (an index)" : "") + ": " + type +
                       "submitted " + (s.lastSubmitted.empty() ? "never" : s.lastSubmitted) + ", read " +
                       (s.lastDownloaded.empty() ? "not yet" : s.lastDownloaded) +
                       (s.isPending ? ", pending" : "") + ", " + count(s.errors) + " errors, " +
                       count(s.warnings) + " warnings";
    for (const SitemapContents& c : s.contents)
        line += ", " + count(c.submitted) + " " + c.type + " URLs submitted";
    return line;
}

std::string sitemapJson(const StoredSitemapStatus& stored) {
    const SitemapStatus& s = stored.status;
    std::string json = "{\"path\": " + jsonString(s.path) + ", \"property\": " + jsonString(stored.property) +
                       ", \"listed_at\": " + timeJson(stored.at) +
                       ", \"last_submitted\": " + jsonString(s.lastSubmitted) +
                       ", \"last_downloaded\": " + jsonString(s.lastDownloaded) +
                       ", \"is_pending\": " + (s.isPending ? "true" : "false") +
                       ", \"is_sitemaps_index\": " + (s.isSitemapsIndex ? "true" : "false") +
                       ", \"type\": " + jsonString(s.type) + ", \"errors\": " + std::to_string(s.errors) +
                       ", \"warnings\": " + std::to_string(s.warnings) + ", \"contents\": [";
    for (std::size_t i = 0; i < s.contents.size(); ++i)
        json += std::string(i ? ", " : "") + "{\"type\": " + jsonString(s.contents[i].type) +
                ", \"submitted\": " + std::to_string(s.contents[i].submitted) +
                ", \"indexed\": " + std::to_string(s.contents[i].indexed) + "}";
    return json + "]}";
}

// The inspection's fields beside their names in JSON.
std::array<std::pair<const char*, const std::string*>, 10> inspectionFields(const InspectionResult& r) {
    return {{{"verdict", &r.verdict},
             {"coverage_state", &r.coverageState},
             {"indexing_state", &r.indexingState},
             {"robots_txt_state", &r.robotsTxtState},
             {"page_fetch_state", &r.pageFetchState},
             {"last_crawl_time", &r.lastCrawlTime},
             {"google_canonical", &r.googleCanonical},
             {"user_canonical", &r.userCanonical},
             {"crawled_as", &r.crawledAs},
             {"result_link", &r.inspectionResultLink}}};
}

} // namespace

SiteSummary siteSummary(const SiteStore& store, const StoreSite& site, std::int64_t now) {
    SiteSummary summary;
    for (const PageGroup& group : listedPageGroups(store, site, IndexNowChannelId)) {
        const std::int64_t n = group.pages;
        summary.pages += n;
        addTo(summary.checks, group.checkVerdict, n);
        (group.accepted ? summary.indexNowAccepted : summary.indexNowPending) += n;
        if (!group.inspected)
            summary.notInspected += n;
        else if (isIndexedVerdict(group.verdict))
            summary.googleIndexed += n;
        else
            addTo(summary.notIndexed, group.coverageState.empty() ? group.verdict : group.coverageState, n);
    }
    sortCounts(summary.checks);
    sortCounts(summary.notIndexed);
    if (const std::int64_t until = store.pausedUntil(site, IndexNowChannelId); until > now)
        summary.indexNowPausedUntil = until;
    summary.sitemaps = storedSitemapStatuses(store, site);
    summary.unreadable = store.unreadable(site);
    return summary;
}

std::vector<std::string> summaryLines(const std::string& name, const SiteSummary& s) {
    std::vector<std::string> lines{name + ": " + count(s.pages) + " pages in the sitemaps"};
    if (s.unreadable)
        lines.push_back("Could not be read at " + formatUtc(s.unreadable->at) + ": " + s.unreadable->cause +
                        "; nothing was announced");
    std::string checks = "Page checks:";
    for (const auto& [verdict, n] : s.checks)
        checks += std::string(checks.back() == ':' ? " " : ", ") + count(n) + " " +
                  (verdict.empty() ? "not checked" : verdict);
    lines.push_back(s.checks.empty() ? checks + " none" : checks);
    lines.push_back("IndexNow: " + count(s.indexNowAccepted) + " accepted, " + count(s.indexNowPending) +
                    " pending" +
                    (s.indexNowPausedUntil ? ", paused until " + formatUtc(s.indexNowPausedUntil) : ""));
    std::int64_t notIndexed = 0;
    for (const auto& entry : s.notIndexed)
        notIndexed += entry.second;
    lines.push_back("Google: " + count(s.googleIndexed) + " indexed, " + count(notIndexed) +
                    " not indexed, " + count(s.notInspected) + " not yet inspected");
    for (const auto& [state, n] : s.notIndexed)
        lines.push_back("  not indexed, " + (state.empty() ? std::string("no coverage state") : state) +
                        ": " + count(n));
    for (const StoredSitemapStatus& sitemap : s.sitemaps)
        lines.push_back(sitemapLine(sitemap));
    return lines;
}

std::string summaryJson(const std::string& name, const SiteSummary& s) {
    std::string json = "{\"site\": " + jsonString(name) + ", \"pages\": " + std::to_string(s.pages) +
                       ", \"checks\": " + countsJson(s.checks) +
                       ", \"indexnow\": {\"accepted\": " + std::to_string(s.indexNowAccepted) +
                       ", \"pending\": " + std::to_string(s.indexNowPending) + ", \"paused_until\": " +
                       (s.indexNowPausedUntil ? timeJson(s.indexNowPausedUntil) : std::string("null")) +
                       "}, \"google\": {\"indexed\": " + std::to_string(s.googleIndexed) +
                       ", \"not_indexed\": " + countsJson(s.notIndexed) +
                       ", \"not_inspected\": " + std::to_string(s.notInspected) + "}, \"unreadable\": " +
                       (s.unreadable ? "{\"at\": " + timeJson(s.unreadable->at) +
                                           ", \"cause\": " + jsonString(s.unreadable->cause) + "}"
                                     : std::string("null")) +
                       ", \"sitemaps\": [";
    for (std::size_t i = 0; i < s.sitemaps.size(); ++i)
        json += std::string(i ? ", " : "") + sitemapJson(s.sitemaps[i]);
    return json + "]}";
}

std::string UrlStatus::indexNowState() const {
    for (const Announcement& a : announcements)
        if (a.channel == IndexNowChannelId) return a.accepted ? "accepted" : "known";
    return "pending";
}

std::size_t forEachUrlStatus(const SiteStore& store, const StoreSite& site,
                             const std::function<void(UrlStatus&&)>& callback) {
    return forEachListedPage(store, site, [&](StoredPage&& page) { callback(UrlStatus{std::move(page)}); });
}

std::string urlStatusLine(const UrlStatus& s) {
    const InspectionResult none;
    const InspectionResult& r = s.inspection ? s.inspection->result : none;
    return printableField(s.url) + '\t' + printableField(s.check) + '\t' + s.indexNowState() + '\t' +
           printableField(r.verdict) + '\t' + printableField(r.coverageState) + '\t' +
           printableField(r.lastCrawlTime);
}

std::string urlStatusJson(const UrlStatus& s) {
    std::string json = "{\"url\": " + jsonString(s.url) + ", \"check\": " + jsonString(s.check) +
                       ", \"check_detail\": " + jsonString(s.checkDetail) +
                       ", \"checked_at\": " + timeJson(s.checkedAt) +
                       ", \"channels\": " + channelAnswersJson(s.announcements) + ", \"inspection\": ";
    if (!s.inspection) return json + "null}";
    json +=
        "{\"at\": " + timeJson(s.inspection->at) + ", \"property\": " + jsonString(s.inspection->property);
    for (const auto& [name, value] : inspectionFields(s.inspection->result))
        json += std::string(", \"") + name + "\": " + jsonString(*value);
    return json + "}}";
}

SiteStatusData loadSiteStatus(const std::string& profileDirectory, const std::string& name,
                              std::int64_t now) {
    SiteStatusData data;
    data.name = name;
    if (::access(SiteStore::fileName(profileDirectory).c_str(), F_OK) != 0) {
        data.problem = "Nothing is known of " + name + " yet: a run with a live channel starts the store.";
        return data;
    }
    try {
        const SiteStore store = SiteStore::openToRead(profileDirectory);
        const StoreSite site = store.findSite(name);
        data.summary = summaryLines(name, siteSummary(store, site, now));
        if (site.id != 0)
            forEachUrlStatus(store, site, [&](UrlStatus&& url) { data.urls.push_back(std::move(url)); });
    } catch (const LarkspanError& e) {
        data.problem = e.what();
    }
    return data;
}
