#include "core/store/StoreSelection.h"

#include "core/sitemaps/SitemapReader.h"
#include "core/sitemaps/UrlTable.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreDatabase.h"
#include "http/Url.h"

#include <algorithm>

namespace {

enum class Decision { Announce, RecordKnown, Keep };

enum Flag : std::uint8_t { Seen = 1, Selected = 2 };

std::optional<std::int64_t> lastmodOf(const UrlTable& urls, std::size_t i) {
    const std::int64_t value = urls.value(i);
    if (value == NoLastmod) return std::nullopt;
    return value;
}

// What the store learns from one run, written after the scan of its rows.
struct Changes {
    std::vector<std::pair<std::int64_t, std::optional<std::int64_t>>> lastmods;
    std::vector<std::int64_t> left;
    std::vector<std::int64_t> known;
};

class Selector {
public:
    Selector(SiteStore& store, const StoreSite& site, const UrlTable& urls, const SelectionRequest& request)
        : db_(StoreDatabase::of(store)), site_(site), urls_(urls), request_(request), flags_(urls.size(), 0),
          profileKey_(urlKey(request.profileUrl)) {
        profileIndex_ = urls.find(profileKey_).value_or(NoIndex);
        if (request_.mode == SelectionMode::Record) result_.rows.assign(urls.size(), 0);
    }

    AnnounceSelection select() {
        // The site's own record is no channel's: it meets nothing and leaves no baseline.
        result_.firstRun = !request_.channel.empty() && !channelMet();
        result_.baselinePending = result_.firstRun && request_.read == SitemapRead::Partial;
        scanStored();
        addNew();
        decideProfileUrl();
        if (request_.mode == SelectionMode::Record) write();
        for (std::size_t i = 0; i < urls_.size(); ++i)
            if ((flags_[i] & Selected) && i != profileIndex_) result_.indices.push_back(i);
        return std::move(result_);
    }

    // The rows left to the store's thread, once the selection's transaction is committed.
    std::optional<BackgroundRows::Rows> takeBackgroundRows() { return std::move(background_); }

private:
    bool channelMet() const {
        // A row with met 0 holds only the key's status of a channel that has not met the site.
        SqliteStatement met = db_.prepare("SELECT 1 FROM channels WHERE site=?1 AND channel=?2 AND met>0");
        met.bind(1, site_.id).bind(2, request_.channel);
        return met.step();
    }

    // lastAt and sentLastmod: when the channel last accepted the URL (or recorded it as known),
    // and the lastmod it had then.
    Decision decide(std::size_t i, std::optional<std::int64_t> lastAt,
                    std::optional<std::int64_t> sentLastmod) const {
        const std::optional<std::int64_t> lastmod = lastmodOf(urls_, i);
        if (lastAt)
            return lastmod && *lastmod > *lastAt && lastmod != sentLastmod ? Decision::Announce
                                                                           : Decision::Keep;
        if (!result_.firstRun || request_.firstRun == FirstRun::AllPages || i == profileIndex_)
            return Decision::Announce;
        const bool recent = lastmod && *lastmod >= request_.now - FirstRunRecentSeconds;
        return recent ? Decision::Announce : Decision::RecordKnown;
    }

    // Goes through the site's rows once, matching each with its sitemap entry.
    void scanStored() {
        SqliteStatement rows =
            db_.prepare("SELECT u.id, u.url, u.lastmod, u.listed, a.at, a.lastmod FROM urls u "
                        "LEFT JOIN announcements a ON a.url=u.id AND a.channel=?2 WHERE u.site=?1");
        rows.bind(1, site_.id).bind(2, request_.channel);
        while (rows.step()) {
            const std::int64_t id = rows.int64(0);
            const bool listed = rows.int64(3) != 0;
            const auto found = urls_.find(rows.text(1));
            if (!found) {
                if (listed && request_.read == SitemapRead::Complete) changes_.left.push_back(id);
                continue;
            }
            flags_[*found] |= Seen;
            if (request_.mode == SelectionMode::Record) result_.rows[*found] = id;
            const std::optional<std::int64_t> lastmod = lastmodOf(urls_, *found);
            if (!listed || rows.optionalInt64(2) != lastmod) changes_.lastmods.emplace_back(id, lastmod);
            mark(*found, decide(*found, rows.optionalInt64(4), rows.optionalInt64(5)), id);
        }
    }

    void mark(std::size_t i, Decision decision, std::int64_t id) {
        if (decision == Decision::Announce) flags_[i] |= Selected;
        if (decision != Decision::RecordKnown) return;
        ++result_.recordedUnsent;
        if (id != 0) changes_.known.push_back(id);
    }

    // URLs that the store meets for the first time.
    void addNew() {
        std::vector<std::uint32_t> added;
        for (std::size_t i = 0; i < urls_.size(); ++i)
            if (!(flags_[i] & Seen)) added.push_back(static_cast<std::uint32_t>(i));
        // In the order of the store's index of URLs, rows go in at its end rather than all over
        // it: the first run of a large site is several times faster so.
        // Sitemaps that list their URLs in order need no sorting.
        const auto byUrl = [this](std::uint32_t a, std::uint32_t b) { return urls_.url(a) < urls_.url(b); };
        if (!std::is_sorted(added.begin(), added.end(), byUrl)) std::sort(added.begin(), added.end(), byUrl);
        if (inBackground(added)) return;
        SqliteStatement insert =
            db_.prepare("INSERT INTO urls(site, url, first_seen, lastmod, listed) VALUES(?1, ?2, ?3, ?4, 1)");
        insert.bind(1, site_.id).bind(3, request_.now);
        for (std::uint32_t i : added) {
            std::int64_t id = 0;
            if (request_.mode == SelectionMode::Record) {
                insert.bind(2, urls_.url(i)).bind(4, lastmodOf(urls_, i)).run();
                id = db_.lastInsertRowid();
                result_.rows[i] = id;
            }
            mark(i, decide(i, std::nullopt, std::nullopt), id);
        }
    }

    // Many new rows, all of URLs to announce, are given their ids here and left to the store's
    // thread. Should the run end before they are written, the URLs without rows are new to the
    // next run and announced then, which is what they are due; the first run's baseline of URLs
    // recorded without being sent is never left so, as its channel would count as met without it.
    bool inBackground(const std::vector<std::uint32_t>& added) {
        const bool announced = !result_.firstRun || request_.firstRun == FirstRun::AllPages;
        if (request_.mode != SelectionMode::Record || request_.newRows != NewRows::InBackground ||
            !announced || added.size() <= BackgroundRows::Transaction)
            return false;
        const std::int64_t first = db_.queryInt64("SELECT coalesce(max(id), 0) + 1 FROM urls");
        BackgroundRows::Rows rows;
        rows.site = site_.id;
        rows.firstSeen = request_.now;
        rows.firstId = first;
        for (std::size_t k = 0; k < added.size(); ++k) {
            const std::uint32_t i = added[k];
            result_.rows[i] = first + static_cast<std::int64_t>(k);
            mark(i, Decision::Announce, result_.rows[i]);
            rows.add(urls_.url(i), lastmodOf(urls_, i));
        }
        BackgroundRows::reserve(db_, rows);
        background_ = std::move(rows);
        return true;
    }

    // The profile URL goes first when the channel has not accepted it yet (on its first run, and
    // when it is new) and when its own lastmod changed since it was accepted; a profile URL that
    // no sitemap lists has no lastmod. A first run that is repeated, as its sitemaps could not
    // all be read before, does not send it again.
    void decideProfileUrl() {
        if (profileIndex_ != NoIndex) {
            result_.profileUrl = (flags_[profileIndex_] & Selected) != 0;
            if (request_.mode == SelectionMode::Record) result_.profileRow = result_.rows[profileIndex_];
            return;
        }
        SqliteStatement find = db_.prepare(
            "SELECT a.at FROM urls u JOIN announcements a ON a.url=u.id AND a.channel=?3 AND a.accepted=1 "
            "WHERE u.site=?1 AND u.url=?2");
        find.bind(1, site_.id).bind(2, profileKey_).bind(3, request_.channel);
        result_.profileUrl = !find.step();
        if (request_.mode != SelectionMode::Record) return;
        SqliteStatement insert = db_.prepare("INSERT INTO urls(site, url, first_seen) VALUES(?1, ?2, ?3) "
                                             "ON CONFLICT(site, url) DO UPDATE SET url=url RETURNING id");
        insert.bind(1, site_.id).bind(2, profileKey_).bind(3, request_.now);
        if (insert.step()) result_.profileRow = insert.int64(0);
        insert.reset();
    }

    void write() {
        SqliteStatement lastmod =
            db_.prepare("UPDATE urls SET lastmod=?2, listed=1, left_at=NULL WHERE id=?1");
        for (const auto& [id, value] : changes_.lastmods)
            lastmod.bind(1, id).bind(2, value).run();
        SqliteStatement left = db_.prepare("UPDATE urls SET listed=0, left_at=?2, last_seen=(SELECT "
                                           "last_read FROM sites WHERE id=?3) WHERE id=?1");
        left.bind(2, request_.now).bind(3, site_.id);
        for (std::int64_t id : changes_.left)
            left.bind(1, id).run();
        SqliteStatement read = db_.prepare("UPDATE sites SET last_read=?2 WHERE id=?1");
        read.bind(1, site_.id).bind(2, request_.now).run();
        if (request_.channel.empty()) return;
        SqliteStatement known = db_.prepare(
            "INSERT INTO announcements(url, channel, at, accepted, answer, lastmod) "
            "SELECT id, ?2, ?3, 0, 'known', lastmod FROM urls WHERE id=?1 ON CONFLICT DO NOTHING");
        known.bind(2, request_.channel).bind(3, request_.now);
        for (std::int64_t id : changes_.known)
            known.bind(1, id).run();
        // The channel has met the site once it knows all of the site's pages: a first run that
        // read the sitemaps in part (one answered 503) keeps what it saw, and the next is a first
        // run again, rather than a run that takes every page it had not seen as new.
        if (!result_.baselinePending) {
            SqliteStatement met = db_.prepare("INSERT INTO channels(site, channel, met) VALUES(?1, ?2, ?3) "
                                              "ON CONFLICT DO UPDATE SET met=excluded.met WHERE met=0");
            met.bind(1, site_.id).bind(2, request_.channel).bind(3, request_.now).run();
        }
    }

    static constexpr std::size_t NoIndex = static_cast<std::size_t>(-1);

    SqliteDatabase& db_;
    const StoreSite& site_;
    const UrlTable& urls_;
    const SelectionRequest& request_;
    std::vector<std::uint8_t> flags_;
    std::string profileKey_;
    std::size_t profileIndex_ = NoIndex;
    Changes changes_;
    AnnounceSelection result_;
    std::optional<BackgroundRows::Rows> background_;
};

} // namespace

AnnounceSelection selectAnnouncements(SiteStore& store, const StoreSite& site, const UrlTable& urls,
                                      const SelectionRequest& request) {
    try {
        std::optional<SqliteTransaction> transaction;
        if (request.mode == SelectionMode::Record)
            transaction.emplace(StoreDatabase::of(store), SqliteTransaction::Kind::Immediate);
        Selector selector(store, site, urls, request);
        AnnounceSelection selection = selector.select();
        if (transaction) transaction->commit();
        if (auto rows = selector.takeBackgroundRows()) store.writeRowsInBackground(std::move(*rows));
        return selection;
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

void recordSitemaps(SiteStore& store, const StoreSite& site, const UrlTable& urls,
                    std::string_view profileUrl, SitemapRead read, std::int64_t now) {
    selectAnnouncements(store, site, urls,
                        {"", profileUrl, FirstRun::AllPages, SelectionMode::Record, read, now});
}
