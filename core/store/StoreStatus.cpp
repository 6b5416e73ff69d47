#include "core/store/StoreStatus.h"

#include "core/store/StoreDatabase.h"
#include "http/Url.h"

#include <array>
#include <charconv>

namespace {

// The columns of the inspections table beside the fields of a result, in the same order.
std::array<std::string*, 10> resultFields(InspectionResult& r) {
    return {&r.verdict,        &r.coverageState,       &r.indexingState,   &r.robotsTxtState,
            &r.pageFetchState, &r.lastCrawlTime,       &r.googleCanonical, &r.userCanonical,
            &r.crawledAs,      &r.inspectionResultLink};
}

std::string contentsText(const std::vector<SitemapContents>& contents) {
    std::string text;
    for (const SitemapContents& c : contents)
        text += c.type + ' ' + std::to_string(c.submitted) + ' ' + std::to_string(c.indexed) + '\n';
    return text;
}

std::int64_t number(std::string_view text) {
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::vector<SitemapContents> contentsOf(std::string_view text) {
    std::vector<SitemapContents> contents;
    while (!text.empty()) {
        const std::string_view line = text.substr(0, text.find('\n'));
        text.remove_prefix(std::min(text.size(), line.size() + 1));
        const auto first = line.find(' ');
        const auto second = line.find(' ', first == std::string_view::npos ? first : first + 1);
        if (second == std::string_view::npos) continue;
        contents.push_back({std::string(line.substr(0, first)),
                            number(line.substr(first + 1, second - first - 1)),
                            number(line.substr(second + 1))});
    }
    return contents;
}

} // namespace

const char* const InspectionColumns =
    "i.at, i.property, i.verdict, i.coverage_state, i.indexing_state, i.robots_txt_state, "
    "i.page_fetch_state, i.last_crawl_time, i.google_canonical, i.user_canonical, i.crawled_as, "
    "i.result_link";

StoredInspection readInspection(const SqliteStatement& row, int first) {
    StoredInspection stored;
    stored.at = row.int64(first);
    stored.property = row.text(first + 1);
    int column = first + 2;
    for (std::string* field : resultFields(stored.result))
        *field = row.text(column++);
    return stored;
}

namespace {

SqliteStatement inspectionWrite(SqliteDatabase& db) {
    return db.prepare(
        "INSERT INTO inspections(url, at, property, verdict, coverage_state, indexing_state, "
        "robots_txt_state, page_fetch_state, last_crawl_time, google_canonical, user_canonical, "
        "crawled_as, result_link) SELECT id, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14 "
        "FROM urls WHERE site=?1 AND url=?2 ON CONFLICT(url) DO UPDATE SET at=excluded.at, "
        "property=excluded.property, verdict=excluded.verdict, coverage_state=excluded.coverage_state, "
        "indexing_state=excluded.indexing_state, robots_txt_state=excluded.robots_txt_state, "
        "page_fetch_state=excluded.page_fetch_state, last_crawl_time=excluded.last_crawl_time, "
        "google_canonical=excluded.google_canonical, user_canonical=excluded.user_canonical, "
        "crawled_as=excluded.crawled_as, result_link=excluded.result_link");
}

void writeInspection(SqliteStatement& keep, const StoreSite& site, std::string_view url,
                     std::string_view property, std::int64_t at, const InspectionResult& result) {
    keep.bind(1, site.id).bind(2, urlKey(url)).bind(3, at).bind(4, property);
    InspectionResult copy = result;
    int index = 5;
    for (const std::string* field : resultFields(copy))
        keep.bind(index++, *field);
    keep.run();
}

} // namespace

void recordInspection(SiteStore& store, const StoreSite& site, std::string_view url,
                      std::string_view property, std::int64_t at, const InspectionResult& result) {
    try {
        SqliteStatement keep = inspectionWrite(StoreDatabase::of(store));
        writeInspection(keep, site, url, property, at, result);
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

void recordInspections(SiteStore& store, const StoreSite& site,
                       const std::vector<UrlInspection>& inspections) {
    try {
        SqliteTransaction transaction(StoreDatabase::of(store), SqliteTransaction::Kind::Immediate);
        SqliteStatement keep = inspectionWrite(StoreDatabase::of(store));
        for (const UrlInspection& i : inspections)
            writeInspection(keep, site, i.url, i.inspection.property, i.inspection.at, i.inspection.result);
        transaction.commit();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

std::optional<StoredInspection> storedInspection(const SiteStore& store, const StoreSite& site,
                                                 std::string_view url) {
    SqliteStatement find = StoreDatabase::of(store).prepare(std::string("SELECT ") + InspectionColumns +
                                                            " FROM urls u JOIN inspections i ON i.url=u.id "
                                                            "WHERE u.site=?1 AND u.url=?2");
    find.bind(1, site.id).bind(2, urlKey(url));
    if (!find.step()) return std::nullopt;
    return readInspection(find, 0);
}

void recordSitemapStatuses(SiteStore& store, const StoreSite& site, std::string_view property,
                           std::int64_t at, const std::vector<SitemapStatus>& sitemaps) {
    try {
        SqliteTransaction transaction(StoreDatabase::of(store), SqliteTransaction::Kind::Immediate);
        SqliteStatement clear = StoreDatabase::of(store).prepare("DELETE FROM sitemap_status WHERE site=?1");
        clear.bind(1, site.id).run();
        SqliteStatement keep = StoreDatabase::of(store).prepare(
            "INSERT OR REPLACE INTO sitemap_status(site, path, property, at, "
            "last_submitted, last_downloaded, "
            "is_pending, is_sitemaps_index, errors, warnings, contents, type) "
            "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
        keep.bind(1, site.id).bind(3, property).bind(4, at);
        for (const SitemapStatus& s : sitemaps) {
            keep.bind(2, s.path).bind(5, s.lastSubmitted).bind(6, s.lastDownloaded);
            keep.bind(7, std::int64_t{s.isPending}).bind(8, std::int64_t{s.isSitemapsIndex});
            keep.bind(9, s.errors)
                .bind(10, s.warnings)
                .bind(11, contentsText(s.contents))
                .bind(12, s.type)
                .run();
        }
        transaction.commit();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

std::vector<StoredSitemapStatus> storedSitemapStatuses(const SiteStore& store, const StoreSite& site) {
    SqliteStatement list = StoreDatabase::of(store).prepare(
        "SELECT property, at, path, last_submitted, last_downloaded, is_pending, is_sitemaps_index, errors, "
        "warnings, contents, type FROM sitemap_status WHERE site=?1 ORDER BY path");
    list.bind(1, site.id);
    std::vector<StoredSitemapStatus> out;
    while (list.step()) {
        StoredSitemapStatus s{std::string(list.text(0)), list.int64(1), {}};
        s.status.path = list.text(2);
        s.status.lastSubmitted = list.text(3);
        s.status.lastDownloaded = list.text(4);
        s.status.isPending = list.int64(5) != 0;
        s.status.isSitemapsIndex = list.int64(6) != 0;
        s.status.errors = list.int64(7);
        s.status.warnings = list.int64(8);
        s.status.contents = contentsOf(list.text(9));
        s.status.type = list.text(10);
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<StoredCandidate> inspectionCandidates(const SiteStore& store, const StoreSite& site,
                                                  UncheckedPages unchecked) {
    // The latest acceptance of any channel is the announcement that counts.
    SqliteStatement list = StoreDatabase::of(store).prepare(
        "SELECT u.url, (SELECT max(a.at) FROM announcements a WHERE a.url=u.id AND a.accepted=1), "
        "i.at, coalesce(i.verdict, ''), pc.google_verdict FROM urls u "
        "LEFT JOIN inspections i ON i.url=u.id LEFT JOIN page_checks pc ON pc.url=u.id "
        "WHERE u.site=?1 AND u.listed=1 ORDER BY u.id");
    list.bind(1, site.id);
    std::vector<StoredCandidate> out;
    while (list.step()) {
        StoredCandidate c;
        c.url = list.text(0);
        c.candidate.announcedAt = list.optionalInt64(1);
        c.candidate.inspectedAt = list.optionalInt64(2);
        c.candidate.lastVerdict = list.text(3);
        const bool ok = list.isNull(4) ? unchecked == UncheckedPages::Inspect : list.text(4) == "ok";
        c.candidate.check = ok ? CheckResult::Ok : CheckResult::NotOk;
        out.push_back(std::move(c));
    }
    return out;
}

int StoreQuotaCounts::used(const std::string& property, std::int64_t day) const {
    SqliteStatement find =
        StoreDatabase::of(store_).prepare("SELECT used FROM inspection_counts WHERE property=?1 AND day=?2");
    find.bind(1, property).bind(2, day);
    return find.step() ? static_cast<int>(find.int64(0)) : 0;
}

void StoreQuotaCounts::add(const std::string& property, std::int64_t day) {
    try {
        // One statement, so that two processes counting at once both count.
        SqliteStatement count = StoreDatabase::of(store_).prepare(
            "INSERT INTO inspection_counts(property, day, used) VALUES(?1, ?2, 1) "
            "ON CONFLICT DO UPDATE SET used=used+1");
        count.bind(1, property).bind(2, day).run();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

void StoreQuotaCounts::setUsed(const std::string& property, std::int64_t day, int used) {
    try {
        SqliteStatement set = StoreDatabase::of(store_).prepare(
            "INSERT INTO inspection_counts(property, day, used) VALUES(?1, ?2, ?3) "
            "ON CONFLICT DO UPDATE SET used=excluded.used");
        set.bind(1, property).bind(2, day).bind(3, std::int64_t{used}).run();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

std::optional<std::int64_t> StoreQuotaCounts::latestDay(const std::string& property) const {
    SqliteStatement find = StoreDatabase::of(store_).prepare(
        "SELECT max(day) FROM inspection_counts WHERE property=?1 AND used>0");
    find.bind(1, property);
    if (!find.step()) return std::nullopt;
    return find.optionalInt64(0);
}

std::int64_t StoreQuotaCounts::pausedUntil(const std::string& property) const {
    SqliteStatement find =
        StoreDatabase::of(store_).prepare("SELECT max(until) FROM pauses WHERE channel=?1 AND endpoint=?2");
    find.bind(1, InspectionChannel).bind(2, property);
    return find.step() ? find.optionalInt64(0).value_or(0) : 0;
}

void StoreQuotaCounts::pause(const std::string& property, std::int64_t until) {
    try {
        SqliteTransaction transaction(StoreDatabase::of(store_), SqliteTransaction::Kind::Immediate);
        // A pause cut short holds for every site of the property, or the longest would still win.
        SqliteStatement cut = StoreDatabase::of(store_).prepare(
            "UPDATE pauses SET until=min(until, ?3) WHERE channel=?1 AND endpoint=?2");
        cut.bind(1, InspectionChannel).bind(2, property).bind(3, until).run();
        store_.setPause(site_, InspectionChannel, property, until);
        transaction.commit();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}
