#include "core/store/BackgroundRows.h"

#include "core/sitemaps/SitemapReader.h"
#include "core/store/SiteStore.h"
#include "platform/Sqlite.h"

#include <algorithm>

void BackgroundRows::Rows::add(std::string_view key, std::optional<std::int64_t> lastmod) {
    keys_.push_back(key);
    lastmods_.push_back(lastmod.value_or(NoLastmod));
}

std::optional<std::int64_t> BackgroundRows::Rows::lastmod(std::size_t i) const {
    if (lastmods_[i] == NoLastmod) return std::nullopt;
    return lastmods_[i];
}

SqliteStatement BackgroundRows::prepareInsert(SqliteDatabase& db, const Rows& rows) {
    SqliteStatement statement = db.prepare(
        "INSERT INTO urls(id, site, url, first_seen, lastmod, listed) VALUES(?1, ?2, ?3, ?4, ?5, 1)");
    statement.bind(2, rows.site).bind(4, rows.firstSeen);
    return statement;
}

void BackgroundRows::insert(SqliteStatement& statement, const Rows& rows, std::size_t i) {
    statement.bind(1, rows.firstId + static_cast<std::int64_t>(i))
        .bind(3, rows.key(i))
        .bind(5, rows.lastmod(i));
    statement.run();
}

void BackgroundRows::reserve(SqliteDatabase& db, const Rows& rows) {
    SqliteStatement statement = prepareInsert(db, rows);
    insert(statement, rows, rows.size() - 1);
}

BackgroundRows::BackgroundRows(std::string file, int busyWaitMilliseconds, Rows rows)
    : rows_(std::move(rows)),
      thread_([this, file = std::move(file), busyWaitMilliseconds] { write(file, busyWaitMilliseconds); }) {}

BackgroundRows::~BackgroundRows() {
    thread_.join();
}

void BackgroundRows::write(const std::string& file, int busyWaitMilliseconds) {
    try {
        SqliteDatabase db(file, SqliteDatabase::Mode::ReadWrite);
        db.setBusyTimeout(busyWaitMilliseconds);
        // The run's next commit with a full sync takes these rows to the disk with its own; they
        // need none of their own. The run's connection checkpoints the log.
        db.exec("PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-4096; "
                "PRAGMA wal_autocheckpoint=0");
        SqliteStatement statement = prepareInsert(db, rows_);
        for (std::size_t first = 0; first < threadRows(); first += Transaction) {
            const std::size_t last = std::min(threadRows(), first + Transaction);
            {
                std::unique_lock<std::mutex> lock(mutex_);
                progress_.wait(lock, [&] { return runTurns_ == 0; });
                writing_ = true;
            }
            {
                SqliteTransaction transaction(db, SqliteTransaction::Kind::Immediate);
                for (std::size_t i = first; i < last; ++i)
                    insert(statement, rows_, i);
                transaction.commit();
            }
            const std::lock_guard<std::mutex> lock(mutex_);
            writing_ = false;
            written_ = last;
            progress_.notify_all();
        }
    } catch (const SqliteError& e) {
        const std::lock_guard<std::mutex> lock(mutex_);
        writing_ = false;
        try {
            rethrowStoreError(e);
        } catch (const StoreError&) {
            failure_ = std::current_exception();
        }
        progress_.notify_all();
    }
}

void BackgroundRows::waitUntil(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    progress_.wait(lock, [&] { return written_ >= count || failure_; });
    if (written_ < count) std::rethrow_exception(failure_);
}

void BackgroundRows::waitFor(const std::vector<std::int64_t>& ids) {
    // The highest of the ids that the thread writes; a batch may hold the selection's own row,
    // which is higher than all of them and committed already.
    const std::int64_t end = rows_.firstId + static_cast<std::int64_t>(threadRows());
    std::int64_t highest = rows_.firstId - 1;
    for (const std::int64_t id : ids)
        if (id >= rows_.firstId && id < end) highest = std::max(highest, id);
    if (highest >= rows_.firstId) waitUntil(static_cast<std::size_t>(highest - rows_.firstId) + 1);
}

void BackgroundRows::waitForAll() {
    waitUntil(threadRows());
}

BackgroundRows::Turn::Turn(BackgroundRows& rows) : rows_(rows) {
    std::unique_lock<std::mutex> lock(rows_.mutex_);
    ++rows_.runTurns_;
    rows_.progress_.wait(lock, [&] { return !rows_.writing_; });
}

BackgroundRows::Turn::~Turn() {
    const std::lock_guard<std::mutex> lock(rows_.mutex_);
    --rows_.runTurns_;
    rows_.progress_.notify_all();
}
