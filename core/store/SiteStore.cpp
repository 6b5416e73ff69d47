#include "core/store/SiteStore.h"

#include "core/store/StoreImport.h"
#include "core/store/StoreSchema.h"
#include "http/Url.h"
#include "platform/Time.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view SqliteHeader{"SQLite format 3\0", 16};

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    return directory + (directory.back() == '/' ? "" : "/") + name;
}

void syncDirectory(const std::string& directory) {
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The settings of every connection: the write-ahead log, a full sync of every commit (an
// accepted batch is on the disk before the next POST), and foreign keys for cascades.
void configure(SqliteDatabase& db, int busyWaitSeconds) {
    db.setBusyTimeout(busyWaitSeconds * 1000);
    // A cache of 4 MiB at most: twice SQLite's own. The index of a large site's URLs (70 MB for a
    // million) fits in no cache that the memory bound of a run leaves room for, and 32 MiB cost
    // a first run of 1,000,000 URLs 30 MB of memory for no time saved.
    db.exec("PRAGMA foreign_keys=ON; PRAGMA synchronous=FULL; PRAGMA cache_size=-4096");
}

void removeDatabaseFiles(const std::string& file) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        ::unlink((file + suffix).c_str());
}

// Makes the store under a name of its own and links it into place only when it is complete, so
// that no empty or half-made store is ever seen under its real name. Another process that made
// one first wins.
void createStore(const std::string& file, const std::string& directory) {
    const std::string temporary = file + ".new-" + std::to_string(::getpid());
    removeDatabaseFiles(temporary);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw StoreError("The store " + file + " cannot be made: " + std::string(std::strerror(errno)));
    ::close(fd);
    try {
        SqliteDatabase db(temporary, SqliteDatabase::Mode::ReadWrite);
        db.exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL");
        migrateStore(db);
    } catch (const SqliteError& e) {
        removeDatabaseFiles(temporary);
        if (e.code() == SQLITE_FULL)
            throw StoreFull("The disk holding " + file + " is full; the store cannot be made");
        throw StoreError("The store " + file + " cannot be made: " + e.what());
    }
    const int linked = ::link(temporary.c_str(), file.c_str());
    const int error = errno;
    removeDatabaseFiles(temporary);
    if (linked != 0 && error != EEXIST)
        throw StoreError("The store " + file + " cannot be made: " + std::string(std::strerror(error)));
    syncDirectory(directory);
}

std::string refusal(const std::string& file, const std::string& why) {
    return "The store " + file + " " + why + "; it is left as it is, and nothing is sent for its sites";
}

// Reads the first bytes of an existing store: an empty file, or one without SQLite's header,
// is refused before SQLite opens (and might write to) it.
void checkHeader(const std::string& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw StoreError("The store " + file + " cannot be read: " + std::strerror(errno));
    char header[16] = {};
    const ssize_t n = ::read(fd, header, sizeof header);
    ::close(fd);
    if (n == 0) throw StoreError(refusal(file, "is empty (cut off)"));
    if (n != 16 || std::string_view(header, 16) != SqliteHeader)
        throw StoreError(refusal(file, "is not a database"));
}

void checkOpened(SqliteDatabase& db, int busyWaitSeconds) {
    try {
        configure(db, busyWaitSeconds);
        const std::int64_t version = db.queryInt64("PRAGMA user_version");
        if (version > storeSchemaVersion())
            throw StoreError(refusal(db.file(), "was written by a newer Larkspan (schema " +
                                                    std::to_string(version) + ", this one knows up to " +
                                                    std::to_string(storeSchemaVersion()) + ")"));
        const std::string check = db.queryText("PRAGMA quick_check");
        if (check != "ok") throw StoreError(refusal(db.file(), "is damaged (" + check + ")"));
    } catch (const SqliteError& e) {
        const bool damaged = e.code() == SQLITE_CORRUPT || e.code() == SQLITE_NOTADB;
        throw StoreError(refusal(db.file(), (damaged ? "is damaged (" : "cannot be read (") +
                                                std::string(sqlite3_errstr(e.code())) + ")"));
    }
}

} // namespace

[[noreturn]] void rethrowStoreError(const SqliteError& e) {
    if (e.code() == SQLITE_FULL) throw StoreFull(e.what());
    throw StoreError(e.what());
}

namespace {

// Records the channel's acceptance of the URLs of these rows: the latest time stays, and a URL
// recorded as known without being sent takes the time it was sent. The rows of a batch are
// mostly neighbours (a first run's baseline is inserted in the order the sitemaps list the
// URLs), so they go in as ranges of consecutive rows, one statement each: a range is read in
// one pass of the table instead of a lookup per row. The "+" keeps SQLite from reading the
// site's whole index of URLs instead of the range.
void acceptRows(SqliteDatabase& db, const StoreSite& site, std::string_view channel,
                std::vector<std::int64_t> rows, std::int64_t time, std::string_view answer) {
    SqliteStatement accept =
        db.prepare("INSERT INTO announcements(url, channel, at, accepted, answer, lastmod) "
                   "SELECT id, ?3, ?4, 1, ?5, lastmod FROM urls WHERE id BETWEEN ?2 AND ?6 AND +site=?1 "
                   "ON CONFLICT(url, channel) DO UPDATE SET "
                   "at=CASE WHEN accepted=0 OR excluded.at>at THEN excluded.at ELSE at END, "
                   "accepted=1, answer=excluded.answer, lastmod=excluded.lastmod");
    accept.bind(1, site.id).bind(3, channel).bind(4, time).bind(5, answer);
    std::sort(rows.begin(), rows.end());
    for (std::size_t first = 0, last = 0; first < rows.size(); first = last) {
        for (last = first + 1; last < rows.size() && rows[last] <= rows[last - 1] + 1;)
            ++last;
        accept.bind(2, rows[first]).bind(6, rows[last - 1]).run();
    }
}

} // namespace

std::string SiteStore::fileName(const std::string& profileDirectory) {
    return joinPath(profileDirectory, "larkspan.db");
}

int SiteStore::schemaVersion() {
    return storeSchemaVersion();
}

SiteStore SiteStore::open(const std::string& profileDirectory, int busyWaitSeconds) {
    const std::string file = fileName(profileDirectory);
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno != ENOENT)
            throw StoreError("The store " + file + " cannot be read: " + std::strerror(errno));
        createStore(file, profileDirectory);
    } else {
        checkHeader(file);
    }
    try {
        SqliteDatabase db(file, SqliteDatabase::Mode::ReadWrite);
        checkOpened(db, busyWaitSeconds);
        db.exec("PRAGMA journal_mode=WAL");
        migrateStore(db);
        // A first run's baseline of a large site fills the log with a hundred megabytes and more:
        // copying them into the database goes on beside the POSTs that follow it.
        db.checkpointInBackground();
        return SiteStore(std::move(db), profileDirectory, busyWaitSeconds);
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

void SiteStore::writeRowsInBackground(BackgroundRows::Rows rows) {
    settle();
    rows_ = std::make_unique<BackgroundRows>(db_.file(), busyWaitSeconds_ * 1000, std::move(rows));
}

void SiteStore::settle() const {
    if (!rows_) return;
    // Gone whether they were all written or not: a failure is told once.
    const std::unique_ptr<BackgroundRows> rows = std::move(rows_);
    rows->waitForAll();
}

SiteStore SiteStore::openToRead(const std::string& profileDirectory, int busyWaitSeconds) {
    const std::string file = fileName(profileDirectory);
    try {
        if (::access(file.c_str(), F_OK) != 0) {
            SqliteDatabase memory(":memory:", SqliteDatabase::Mode::ReadWriteCreate);
            migrateStore(memory);
            SiteStore store(std::move(memory), profileDirectory, busyWaitSeconds);
            store.exists_ = false;
            return store;
        }
        checkHeader(file);
        SqliteDatabase db(file, SqliteDatabase::Mode::ReadOnly);
        checkOpened(db, busyWaitSeconds);
        if (db.queryInt64("PRAGMA user_version") < storeSchemaVersion()) {
            SqliteDatabase memory(":memory:", SqliteDatabase::Mode::ReadWriteCreate);
            db.copyInto(memory);
            migrateStore(memory);
            return SiteStore(std::move(memory), profileDirectory, busyWaitSeconds);
        }
        return SiteStore(std::move(db), profileDirectory, busyWaitSeconds);
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

StoreSite SiteStore::findSite(const std::string& name) const {
    SqliteStatement find = db_.prepare("SELECT id FROM sites WHERE name=?1");
    find.bind(1, name);
    StoreSite site;
    site.name = name;
    if (find.step()) site.id = find.int64(0);
    return site;
}

StoreSite SiteStore::site(const std::string& name) {
    try {
        StoreSite site = findSite(name);
        if (site.id == 0) {
            SqliteStatement insert = db_.prepare("INSERT OR IGNORE INTO sites(name, created) VALUES(?1, ?2)");
            insert.bind(1, name).bind(2, unixNow()).run();
            site = findSite(name);
        }
        importStateFiles(db_, directory_, site);
        return site;
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

void SiteStore::recordAccepted(const StoreSite& site, std::string_view channel,
                               const std::vector<std::string_view>& urls, std::int64_t time,
                               std::string_view answer) {
    settle();
    try {
        SqliteTransaction transaction(db_, SqliteTransaction::Kind::Immediate);
        SqliteStatement find = db_.prepare("SELECT id FROM urls WHERE site=?1 AND url=?2");
        SqliteStatement add = db_.prepare("INSERT INTO urls(site, url, first_seen) VALUES(?1, ?2, ?3)");
        find.bind(1, site.id);
        add.bind(1, site.id).bind(3, time);
        std::vector<std::int64_t> rows;
        for (std::string_view url : urls) {
            const std::string key = urlKey(url);
            if (find.bind(2, key).step()) {
                rows.push_back(find.int64(0));
            } else {
                add.bind(2, key).run();
                rows.push_back(db_.lastInsertRowid());
            }
            find.reset();
        }
        acceptRows(db_, site, channel, rows, time, answer);
        transaction.commit();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

void SiteStore::recordAcceptedRows(const StoreSite& site, std::string_view channel,
                                   const std::vector<std::int64_t>& rows, std::int64_t time,
                                   std::string_view answer) {
    std::optional<BackgroundRows::Turn> turn;
    if (rows_ && !rows.empty()) {
        try {
            rows_->waitFor(rows);
        } catch (const StoreError&) {
            // The thread has ended; its failure is told here, once.
            rows_.reset();
            throw;
        }
        turn.emplace(*rows_);
    }
    try {
        // Its rows are read from the urls table by the statement that inserts them, so each
        // row's check against that table could only pass; without it, a batch of 10,000 takes
        // half the time.
        const SqliteWithoutForeignKeys unchecked(db_);
        SqliteTransaction transaction(db_, SqliteTransaction::Kind::Immediate);
        acceptRows(db_, site, channel, rows, time, answer);
        transaction.commit();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

void SiteStore::setUnreadable(const StoreSite& site, std::string_view cause, std::int64_t time) {
    try {
        SqliteStatement set = db_.prepare("UPDATE sites SET unreadable=?2, unreadable_at=?3 WHERE id=?1");
        set.bind(1, site.id).bind(2, cause);
        if (cause.empty())
            set.bind(3, std::optional<std::int64_t>());
        else
            set.bind(3, time);
        set.run();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

std::optional<SiteStore::Unreadable> SiteStore::unreadable(const StoreSite& site) const {
    SqliteStatement find =
        db_.prepare("SELECT unreadable, unreadable_at FROM sites WHERE id=?1 AND unreadable<>''");
    find.bind(1, site.id);
    if (!find.step()) return std::nullopt;
    return Unreadable{std::string(find.text(0)), find.int64(1)};
}

std::optional<std::int64_t> SiteStore::acceptedAt(const StoreSite& site, std::string_view channel,
                                                  std::string_view url) const {
    settle();
    SqliteStatement find = db_.prepare("SELECT a.at FROM urls u JOIN announcements a ON a.url=u.id "
                                       "WHERE u.site=?1 AND u.url=?2 AND a.channel=?3 AND a.accepted=1");
    find.bind(1, site.id).bind(2, urlKey(url)).bind(3, channel);
    if (!find.step()) return std::nullopt;
    return find.int64(0);
}

std::int64_t SiteStore::acceptedCount(const StoreSite& site, std::string_view channel) const {
    settle();
    SqliteStatement count = db_.prepare("SELECT count(*) FROM urls u JOIN announcements a ON a.url=u.id "
                                        "WHERE u.site=?1 AND a.channel=?2 AND a.accepted=1");
    count.bind(1, site.id).bind(2, channel);
    return count.step() ? count.int64(0) : 0;
}

std::int64_t SiteStore::pausedUntil(const StoreSite& site, std::string_view channel,
                                    std::string_view endpoint) const {
    SqliteStatement find =
        db_.prepare("SELECT until FROM pauses WHERE site=?1 AND channel=?2 AND endpoint=?3");
    find.bind(1, site.id).bind(2, channel).bind(3, endpoint);
    return find.step() ? find.int64(0) : 0;
}

std::int64_t SiteStore::pausedUntil(const StoreSite& site, std::string_view channel) const {
    SqliteStatement find = db_.prepare("SELECT max(until) FROM pauses WHERE site=?1 AND channel=?2");
    find.bind(1, site.id).bind(2, channel);
    return find.step() ? find.optionalInt64(0).value_or(0) : 0;
}

void SiteStore::setPause(const StoreSite& site, std::string_view channel, std::string_view endpoint,
                         std::int64_t until) {
    try {
        SqliteStatement set =
            db_.prepare("INSERT INTO pauses(site, channel, endpoint, until) VALUES(?1,?2,?3,?4) "
                        "ON CONFLICT DO UPDATE SET until=excluded.until");
        set.bind(1, site.id).bind(2, channel).bind(3, endpoint).bind(4, until).run();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

std::string SiteStore::keyStatus(const StoreSite& site, std::string_view channel) const {
    SqliteStatement find = db_.prepare("SELECT key_status FROM channels WHERE site=?1 AND channel=?2");
    find.bind(1, site.id).bind(2, channel);
    return find.step() ? std::string(find.text(0)) : std::string();
}

void SiteStore::setKeyStatus(const StoreSite& site, std::string_view channel, std::string_view status,
                             std::int64_t time) {
    try {
        // The channel's row, when this makes it, has met 0: a key's status is no baseline.
        SqliteStatement set = db_.prepare(
            "INSERT INTO channels(site, channel, met, key_status, key_status_at) VALUES(?1,?2,0,?3,?4) "
            "ON CONFLICT DO UPDATE SET key_status=excluded.key_status, key_status_at=excluded.key_status_at");
        set.bind(1, site.id).bind(2, channel).bind(3, status).bind(4, time).run();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}
