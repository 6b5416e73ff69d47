#include "core/store/StoreReport.h"

#include "core/store/SiteStore.h"
#include "core/store/StoreDatabase.h"
#include "http/Url.h"
#include "platform/Json.h"
#include "platform/Text.h"
#include "platform/Time.h"

namespace {

std::string timeText(std::optional<std::int64_t> time) {
    return time ? formatUtc(*time) : std::string();
}

} // namespace

std::string timeJson(std::optional<std::int64_t> time) {
    return time ? jsonString(formatUtc(*time)) : std::string("null");
}

std::size_t forEachUrlHistory(const SiteStore& store, const StoreSite& site,
                              std::optional<std::string_view> url,
                              const std::function<void(const UrlHistory&)>& callback) {
    // A listed URL was last seen at the site's last read; one that left keeps its own time.
    SqliteStatement rows = StoreDatabase::of(store).prepare(
        "SELECT u.id, u.url, u.first_seen, CASE WHEN u.listed THEN s.last_read ELSE u.last_seen END, "
        "u.lastmod, u.left_at, a.channel, a.at, a.accepted, a.answer "
        "FROM urls u JOIN sites s ON s.id=u.site LEFT JOIN announcements a ON a.url=u.id "
        "WHERE u.site=?1 AND (?2 IS NULL OR u.url=?2) ORDER BY u.id, a.channel");
    rows.bind(1, site.id);
    if (url)
        rows.bind(2, urlKey(*url));
    else
        rows.bindNull(2);
    UrlHistory current;
    std::int64_t currentId = 0;
    std::size_t count = 0;
    while (rows.step()) {
        if (rows.int64(0) != currentId) {
            if (currentId != 0) callback(current);
            currentId = rows.int64(0);
            ++count;
            current = UrlHistory{std::string(rows.text(1)), rows.int64(2),         rows.optionalInt64(3),
                                 rows.optionalInt64(4),     rows.optionalInt64(5), {}};
        }
        if (!rows.isNull(6))
            current.answers.push_back(
                {std::string(rows.text(6)), rows.int64(7), rows.int64(8) != 0, std::string(rows.text(9))});
    }
    if (currentId != 0) callback(current);
    return count;
}

std::string historyLine(const UrlHistory& h) {
    std::string line = printableField(h.url) + '\t' + formatUtc(h.firstSeen) + '\t' + timeText(h.lastSeen) +
                       '\t' + timeText(h.lastmod) + '\t' + timeText(h.left);
    for (const UrlHistory::Answer& a : h.answers)
        line += '\t' + printableField(a.channel) + '\t' + formatUtc(a.at) + '\t' + printableField(a.answer);
    return line;
}

std::string historyJson(const UrlHistory& h) {
    std::string json = "{\"url\": " + jsonString(h.url) + ", \"first_seen\": " + timeJson(h.firstSeen) +
                       ", \"last_seen\": " + timeJson(h.lastSeen) + ", \"lastmod\": " + timeJson(h.lastmod) +
                       ", \"left\": " + timeJson(h.left) + ", \"channels\": ";
    return json + channelAnswersJson(h.answers) + "}";
}

std::string channelAnswersJson(const std::vector<UrlHistory::Answer>& answers) {
    std::string json = "[";
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const UrlHistory::Answer& a = answers[i];
        json += std::string(i ? ", " : "") + "{\"channel\": " + jsonString(a.channel) +
                ", \"at\": " + timeJson(a.at) + ", \"accepted\": " + (a.accepted ? "true" : "false") +
                ", \"answer\": " + jsonString(a.answer) + "}";
    }
    return json + "]";
}

std::vector<SiteCounts> siteCounts(const SiteStore& store) {
    std::vector<SiteCounts> sites;
    SqliteStatement totals = StoreDatabase::of(store).prepare(
        "SELECT s.id, s.name, count(u.id), coalesce(sum(u.listed), 0), count(u.left_at) "
        "FROM sites s LEFT JOIN urls u ON u.site=s.id GROUP BY s.id ORDER BY s.name");
    SqliteStatement channels = StoreDatabase::of(store).prepare(
        "SELECT a.channel, sum(a.accepted), sum(1 - a.accepted) FROM urls u JOIN "
        "announcements a ON a.url=u.id "
        "WHERE u.site=?1 GROUP BY a.channel ORDER BY a.channel");
    while (totals.step()) {
        SiteCounts counts{std::string(totals.text(1)), totals.int64(2), totals.int64(3), totals.int64(4), {}};
        channels.bind(1, totals.int64(0));
        while (channels.step())
            counts.channels.push_back({std::string(channels.text(0)), channels.int64(1), channels.int64(2)});
        channels.reset();
        sites.push_back(std::move(counts));
    }
    return sites;
}

std::string countsLine(const SiteCounts& c) {
    std::string line = c.name + '\t' + std::to_string(c.urls) + " URLs\t" + std::to_string(c.listed) +
                       " in the sitemaps\t" + std::to_string(c.left) + " left";
    for (const SiteCounts::Channel& channel : c.channels)
        line += '\t' + channel.name + ": " + std::to_string(channel.accepted) + " accepted, " +
                std::to_string(channel.known) + " known";
    return line;
}

std::string integrityCheck(const SiteStore& store) {
    SqliteStatement check = StoreDatabase::of(store).prepare("PRAGMA integrity_check");
    std::string result;
    while (check.step())
        result += (result.empty() ? "" : "\n") + std::string(check.text(0));
    return result;
}
