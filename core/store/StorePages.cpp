#include "core/store/StorePages.h"

#include "core/store/StoreDatabase.h"
#include "http/Url.h"

const char* const ListedPageGroupsQuery =
    "SELECT coalesce(pc.google_verdict, ''), coalesce(a.accepted, -1), i.url IS NULL, "
    "coalesce(i.verdict, ''), coalesce(i.coverage_state, ''), count(*) FROM urls u "
    "LEFT JOIN page_checks pc ON pc.url=u.id "
    "LEFT JOIN announcements a ON a.url=u.id AND a.channel=?2 "
    "LEFT JOIN inspections i ON i.url=u.id "
    "WHERE u.site=?1 AND u.listed=1 GROUP BY 1, 2, 3, 4, 5";

std::vector<PageGroup> listedPageGroups(const SiteStore& store, const StoreSite& site,
                                        std::string_view channel) {
    SqliteStatement groups = StoreDatabase::of(store).prepare(ListedPageGroupsQuery);
    groups.bind(1, site.id).bind(2, channel);
    std::vector<PageGroup> out;
    while (groups.step())
        out.push_back({std::string(groups.text(0)), groups.int64(1) == 1, groups.int64(2) == 0,
                       std::string(groups.text(3)), std::string(groups.text(4)), groups.int64(5)});
    return out;
}

void addListedUrls(SiteStore& store, const StoreSite& site, const std::vector<std::string>& urls,
                   std::int64_t firstSeen) {
    try {
        SqliteDatabase& db = StoreDatabase::of(store);
        SqliteTransaction transaction(db, SqliteTransaction::Kind::Immediate);
        SqliteStatement add =
            db.prepare("INSERT INTO urls(site, url, first_seen, listed) VALUES(?1, ?2, ?3, 1) "
                       "ON CONFLICT(site, url) DO NOTHING");
        add.bind(1, site.id).bind(3, firstSeen);
        for (const std::string& url : urls)
            add.bind(2, urlKey(url)).run();
        transaction.commit();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

std::size_t forEachListedPage(const SiteStore& store, const StoreSite& site,
                              const std::function<void(StoredPage&&)>& callback) {
    SqliteStatement rows = StoreDatabase::of(store).prepare(
        std::string("SELECT u.id, u.url, pc.google_verdict, pc.google_detail, pc.at, a.channel, a.at, "
                    "a.accepted, a.answer, ") +
        InspectionColumns +
        " FROM urls u LEFT JOIN page_checks pc ON pc.url=u.id LEFT JOIN inspections i ON i.url=u.id "
        "LEFT JOIN announcements a ON a.url=u.id WHERE u.site=?1 AND u.listed=1 ORDER BY u.id, a.channel");
    rows.bind(1, site.id);
    StoredPage current;
    std::int64_t currentId = 0;
    std::size_t n = 0;
    while (rows.step()) {
        if (rows.int64(0) != currentId) {
            if (currentId != 0) callback(std::move(current));
            currentId = rows.int64(0);
            ++n;
            current = StoredPage{std::string(rows.text(1)),
                                 std::string(rows.text(2)),
                                 std::string(rows.text(3)),
                                 rows.optionalInt64(4),
                                 {},
                                 std::nullopt};
            if (!rows.isNull(9)) current.inspection = readInspection(rows, 9);
        }
        if (!rows.isNull(5))
            current.announcements.push_back(
                {std::string(rows.text(5)), rows.int64(6), rows.int64(7) != 0, std::string(rows.text(8))});
    }
    if (currentId != 0) callback(std::move(current));
    return n;
}
