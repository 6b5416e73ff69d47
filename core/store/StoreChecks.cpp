#include "core/store/StoreChecks.h"

#include "core/store/SiteStore.h"
#include "core/store/StoreDatabase.h"
#include "http/Url.h"
#include "platform/Time.h"

#include <cstdlib>
#include <unistd.h>
#include <utility>

namespace {

// "all,googlebot": whom a noindex addresses, as the store keeps it.
std::string noindexText(const Noindex& noindex) {
    std::string text;
    for (const auto& [on, name] : {std::pair{noindex.all, "all"}, std::pair{noindex.googlebot, "googlebot"},
                                   std::pair{noindex.bingbot, "bingbot"}})
        if (on) text += std::string(text.empty() ? "" : ",") + name;
    return text;
}

Noindex noindexOf(std::string_view text) {
    Noindex noindex;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view name = text.substr(0, comma);
        noindex.all = noindex.all || name == "all";
        noindex.googlebot = noindex.googlebot || name == "googlebot";
        noindex.bingbot = noindex.bingbot || name == "bingbot";
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    }
    return noindex;
}

// Every hop as "STATUS URL", one a line.
std::string hopsText(const std::vector<PageHop>& hops) {
    std::string text;
    for (const PageHop& hop : hops)
        text += std::to_string(hop.status) + " " + hop.url + "\n";
    return text;
}

std::vector<PageHop> hopsOf(std::string_view text) {
    std::vector<PageHop> hops;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        const std::size_t blank = line.find(' ');
        if (blank != std::string_view::npos)
            hops.push_back(
                {std::string(line.substr(blank + 1)), std::atoi(std::string(line.substr(0, blank)).c_str())});
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return hops;
}

RobotsDecision decisionOf(std::int64_t allowed) {
    return allowed != 0 ? RobotsDecision::Allowed : RobotsDecision::Disallowed;
}

constexpr const char* CheckColumns =
    "c.at, c.status, c.error, c.hops, c.final_url, c.location, c.content_type, c.robots_header, "
    "c.header_noindex, c.meta_noindex, c.canonical, c.googlebot_allowed, c.bingbot_allowed, "
    "c.milliseconds, c.bytes";

PageCheck checkOf(const SqliteStatement& row, std::string url) {
    PageCheck check;
    check.url = std::move(url);
    check.time = formatUtc(row.int64(1));
    check.status = static_cast<int>(row.int64(2));
    check.error = row.text(3);
    check.hops = hopsOf(row.text(4));
    check.finalUrl = row.text(5);
    check.location = row.text(6);
    check.contentType = row.text(7);
    check.robotsHeader = row.text(8);
    check.header = noindexOf(row.text(9));
    check.meta = noindexOf(row.text(10));
    check.canonical = row.text(11);
    check.googlebot = decisionOf(row.int64(12));
    check.bingbot = decisionOf(row.int64(13));
    check.milliseconds = row.int64(14);
    check.bytes = static_cast<std::uint64_t>(row.int64(15));
    return check;
}

} // namespace

std::size_t VerdictCounts::total() const {
    std::size_t sum = 0;
    for (std::size_t n : counts)
        sum += n;
    return sum;
}

std::string VerdictCounts::text() const {
    std::string text;
    for (std::size_t v = 0; v < VerdictCount; ++v)
        if (counts[v] > 0)
            text += std::string(text.empty() ? "" : ", ") + std::to_string(counts[v]) + " " +
                    std::string(verdictName(static_cast<Verdict>(v)));
    return text;
}

std::size_t recordPageChecks(SiteStore& store, const StoreSite& site, const std::vector<PageCheck>& checks) {
    SqliteDatabase& db = StoreDatabase::of(store);
    std::size_t kept = 0;
    try {
        SqliteTransaction transaction(db, SqliteTransaction::Kind::Immediate);
        SqliteStatement find = db.prepare("SELECT id FROM urls WHERE site=?1 AND url=?2");
        SqliteStatement write = db.prepare(
            "INSERT OR REPLACE INTO page_checks(url, at, status, error, hops, final_url, location, "
            "content_type, robots_header, header_noindex, meta_noindex, canonical, googlebot_allowed, "
            "bingbot_allowed, milliseconds, bytes, google_verdict, google_detail, bing_verdict, bing_detail) "
            "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, "
            "?20)");
        find.bind(1, site.id);
        for (const PageCheck& check : checks) {
            find.bind(2, urlKey(check.url));
            const bool known = find.step();
            const std::int64_t id = known ? find.int64(0) : 0;
            find.reset();
            if (!known) continue;
            const PageVerdict google = verdictFor(check, Crawler::Googlebot);
            const PageVerdict bing = verdictFor(check, Crawler::Bingbot);
            const std::int64_t at = parseW3cDatetime(check.time).value_or(unixNow());
            write.bind(1, id).bind(2, at).bind(3, std::int64_t{check.status}).bind(4, check.error);
            write.bind(5, hopsText(check.hops)).bind(6, check.finalUrl).bind(7, check.location);
            write.bind(8, check.contentType).bind(9, check.robotsHeader).bind(10, noindexText(check.header));
            write.bind(11, noindexText(check.meta)).bind(12, check.canonical);
            write.bind(13, std::int64_t{check.googlebot == RobotsDecision::Allowed});
            write.bind(14, std::int64_t{check.bingbot == RobotsDecision::Allowed});
            write.bind(15, check.milliseconds).bind(16, static_cast<std::int64_t>(check.bytes));
            write.bind(17, verdictName(google.verdict)).bind(18, google.detail);
            write.bind(19, verdictName(bing.verdict)).bind(20, bing.detail).run();
            ++kept;
        }
        transaction.commit();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
    return kept;
}

std::vector<PageCheck> latestPageChecks(const SiteStore& store, const StoreSite& site) {
    SqliteStatement rows = StoreDatabase::of(store).prepare(std::string("SELECT u.url, ") + CheckColumns +
                                                            " FROM urls u JOIN page_checks c ON c.url=u.id "
                                                            "WHERE u.site=?1 ORDER BY u.id");
    rows.bind(1, site.id);
    std::vector<PageCheck> checks;
    while (rows.step())
        checks.push_back(checkOf(rows, std::string(rows.text(0))));
    return checks;
}

VerdictCounts countPageVerdicts(const SiteStore& store, const StoreSite& site, Crawler crawler) {
    const std::string column = crawler == Crawler::Googlebot ? "google_verdict" : "bing_verdict";
    SqliteStatement rows =
        StoreDatabase::of(store).prepare("SELECT c." + column +
                                         ", count(*) FROM urls u JOIN "
                                         "page_checks c ON c.url=u.id WHERE u.site=?1 GROUP BY 1");
    rows.bind(1, site.id);
    VerdictCounts counts;
    while (rows.step())
        for (std::size_t v = 0; v < VerdictCount; ++v)
            if (verdictName(static_cast<Verdict>(v)) == rows.text(0))
                counts.counts[v] += static_cast<std::size_t>(rows.int64(1));
    return counts;
}

std::vector<LeftPage> leftPagesDue(const SiteStore& store, const StoreSite& site, std::string_view channel) {
    SqliteStatement rows = StoreDatabase::of(store).prepare(
        "SELECT u.url, u.id FROM urls u LEFT JOIN announcements a ON a.url=u.id AND a.channel=?2 "
        "LEFT JOIN page_checks c ON c.url=u.id WHERE u.site=?1 AND u.left_at IS NOT NULL "
        "AND (a.at IS NULL OR a.accepted=0 OR a.at < u.left_at) "
        "AND (c.at IS NULL OR c.at < u.left_at OR c.status IN (404, 410)) ORDER BY u.id");
    rows.bind(1, site.id).bind(2, channel);
    std::vector<LeftPage> pages;
    while (rows.step())
        pages.push_back({std::string(rows.text(0)), rows.int64(1)});
    return pages;
}

std::vector<PageCheck> storedPageChecks(const std::string& profileDirectory, const std::string& name) {
    if (::access(SiteStore::fileName(profileDirectory).c_str(), F_OK) != 0) return {};
    const SiteStore store = SiteStore::open(profileDirectory, 5);
    const StoreSite site = store.findSite(name);
    if (site.id == 0) return {};
    return latestPageChecks(store, site);
}
